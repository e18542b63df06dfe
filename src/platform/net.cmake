# melvara_platform_net: filled in by its area.
