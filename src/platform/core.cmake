# melvara_platform_core: filled in by its area.
