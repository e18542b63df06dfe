# melvara_platform_threading: filled in by its area.
