# The sources free of Win32 that the native tests and the fuzz targets build.
set(http_pure_sources "${root}/src/http/http_text.cpp" "${root}/src/http/cookie_text.cpp")
set(discovery_pure_sources "${root}/src/discovery/link_key.cpp" "${root}/src/discovery/live_link.cpp"
  "${root}/src/discovery/process_name.cpp" "${root}/src/discovery/text_list.cpp")
set(xldl_pure_sources "${root}/components/xldl/src/common/http_rules.cpp"
  "${root}/components/xldl/src/common/piece_plan.cpp" "${root}/components/xldl/src/common/file_names.cpp"
  "${root}/components/xldl/src/common/resume_record.cpp")
set(archiver_pure_sources "${root}/components/archiver/src/archive_reader.cpp"
  "${root}/components/archiver/src/folder_reader.cpp" "${root}/components/archiver/src/lzma_coders.cpp"
  "${root}/components/archiver/src/branch_coders.cpp" "${root}/components/archiver/src/crc32.cpp"
  "${root}/components/archiver/src/command_line.cpp" "${root}/components/archiver/src/entry_path.cpp"
  /usr/include/lzma/LzmaDec.c)
