# melvara_platform_regexp: filled in by its area.
