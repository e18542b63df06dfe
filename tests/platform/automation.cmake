# tests of melvara_platform_automation
