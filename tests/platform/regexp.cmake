# tests of melvara_platform_regexp
