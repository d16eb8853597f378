# velkor_windows_resources(target NAME name DESCRIPTION text [MANIFEST file]):
# the icon, the version resource and an optional manifest, built by windres.
function(velkor_windows_resources target)
  cmake_parse_arguments(R "" "NAME;DESCRIPTION;MANIFEST" "" ${ARGN})
  set(VELKOR_RC_NAME ${R_NAME})
  set(VELKOR_RC_DESCRIPTION ${R_DESCRIPTION})
  set(VELKOR_RC_ICON ${PROJECT_SOURCE_DIR}/data/windows/velkor.ico)
  set(VELKOR_RC_MANIFEST "")
  if(R_MANIFEST)
    set(VELKOR_RC_MANIFEST "1 24 \"${R_MANIFEST}\"")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${R_NAME}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${R_NAME}.rc)
endfunction()
