# melvara_platform_gui: filled in by its area.
