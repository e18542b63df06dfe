# tests of melvara_platform_core
