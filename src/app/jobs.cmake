# playlist and download jobs: target_sources(melvara_app PRIVATE ...)
