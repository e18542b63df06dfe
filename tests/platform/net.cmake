# tests of melvara_platform_net
