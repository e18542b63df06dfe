# melvara_platform_automation: filled in by its area.
