# The Windows installer around one service exe, built by
# scripts/tools/windows-installer with Debian's makensis. Without makensis
# there is no installer target, and the build goes on without it.
find_program(MAKENSIS_COMMAND makensis)

function(tessavin_installer target exe_target version output)
  if(NOT MAKENSIS_COMMAND)
    return()
  endif()
  set(sources ${PROJECT_SOURCE_DIR}/packaging/windows/installer.nsi
              ${PROJECT_SOURCE_DIR}/packaging/windows/messages.nsh
              ${PROJECT_SOURCE_DIR}/scripts/tools/windows-installer)
  add_custom_command(OUTPUT ${output}
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/tools/windows-installer
            $<TARGET_FILE:${exe_target}> ${version} $<TARGET_FILE:TessavinSetup> ${output}
    DEPENDS ${exe_target} TessavinSetup ${sources}
    COMMENT "Windows installer ${output}")
  add_custom_target(${target} ALL DEPENDS ${output})
endfunction()
