# tests of melvara_platform_gui
