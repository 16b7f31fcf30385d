# Compiler flags shared by every target: the same warnings on GCC, Clang and MinGW,
# made errors with VUX_WERROR (the test script and CI turn it on; a plain build
# leaves it off, so a newer compiler's new warning never stops an install).
function(vux_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
    if(VUX_WERROR)
      target_compile_options(${target} PRIVATE /WX)
    endif()
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
    if(VUX_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
  if(VUX_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()

# The program is one self-contained file: run times linked in, nothing to load at start.
function(vux_static_link target)
  # macOS links no program fully static: its system library exists only as a shared one.
  if(VUX_SANITIZE OR APPLE)
    return()
  endif()
  if(WIN32)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  else()
    target_link_options(${target} PRIVATE -static)
  endif()
endfunction()
