# Warnings for every target of the project.
function(velkor_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
  if(VELKOR_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
