# tests of melvara_platform_threading
