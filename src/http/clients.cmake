# the two HTTP clients: target_sources(melvara_http PRIVATE ...)
