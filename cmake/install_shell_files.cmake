# Run by `cmake --install`: writes the shell files for the installed program into
# <prefix>/<datadir>/vux. vux writes them itself, as its /install option does, so
# they name the program by the path it will have (DESTDIR left out) and the command
# batch beside it; a user who may not write there gets folders of their own at run
# time. Expects vux_bindir and vux_datadir (relative to the prefix, or absolute).
foreach(dir vux_bindir vux_datadir)
  if(IS_ABSOLUTE "${${dir}}")
    set(${dir}_full "${${dir}}")
  else()
    set(${dir}_full "${CMAKE_INSTALL_PREFIX}/${${dir}}")
  endif()
endforeach()
set(program "${vux_bindir_full}/vux")
set(staged_program "$ENV{DESTDIR}${program}")
set(shell_dir "$ENV{DESTDIR}${vux_datadir_full}/vux")
get_filename_component(program_dir "${staged_program}" DIRECTORY)
file(MAKE_DIRECTORY "${shell_dir}")
string(RANDOM LENGTH 8 suffix)
set(scratch "${shell_dir}/.install-${suffix}")
file(MAKE_DIRECTORY "${scratch}")

# The install runs the program once: the command batch and change file it empties
# beside a program folder it may write are left only where they were before.
set(left_files)
foreach(name dovux.bat dovux.sh)
  if(NOT EXISTS "${program_dir}/${name}")
    list(APPEND left_files "${program_dir}/${name}")
  endif()
endforeach()

# Argument 0 names the program: its final path, which a staged install (DESTDIR)
# can only give through a shell that sets it.
find_program(vux_install_bash bash)
if(vux_install_bash)
  set(command "${vux_install_bash}" -c "exec -a \"$0\" \"$1\" /q /install" "${program}" "${staged_program}")
else()
  set(command "${staged_program}" /q /install)
endif()
execute_process(
  COMMAND "${CMAKE_COMMAND}" -E env --unset=VUXDRIVES --unset=VUXSESSION "VUXDATADIR=${scratch}"
    "XDG_RUNTIME_DIR=${scratch}" ${command}
  WORKING_DIRECTORY "${shell_dir}" RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(REMOVE_RECURSE "${scratch}")
file(REMOVE "${shell_dir}/vux.bat" ${left_files})
if(NOT status EQUAL 127)
  message(FATAL_ERROR "Writing the shell files with ${staged_program} /install failed (${status}): ${output}")
endif()
# The csh file sources itself by the folder it was written in: under DESTDIR, the
# staged one, which the installed file must not name.
if(NOT "$ENV{DESTDIR}" STREQUAL "" AND EXISTS "${shell_dir}/vux.csh")
  file(READ "${shell_dir}/vux.csh" text)
  string(REPLACE "${shell_dir}/vux.csh" "${vux_datadir_full}/vux/vux.csh" text "${text}")
  file(WRITE "${shell_dir}/vux.csh" "${text}")
endif()
file(GLOB written "${shell_dir}/vux.*")
foreach(file IN LISTS written)
  message(STATUS "Installing: ${file}")
endforeach()
