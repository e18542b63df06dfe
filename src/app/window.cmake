# melvara_app (window, start-up) and the melvara executable
