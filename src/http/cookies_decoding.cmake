# cookies and page decoding sources: target_sources(melvara_http PRIVATE ...)
