# The playlist parsing and song download jobs, and the rules they share.
target_sources(melvara_app PRIVATE
  download_job.cpp
  download_pool.cpp
  download_song.cpp
  job_hooks.cpp
  job_window.cpp
  link_claim.cpp
  list_generation.cpp
  playlist_job.cpp
  song_file_name.cpp
  thread_count_text.cpp)
target_link_libraries(melvara_app PRIVATE melvara_http melvara_regex melvara_threadpool melvara_text)
