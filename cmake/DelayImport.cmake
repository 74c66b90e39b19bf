# Builds delay-load import libraries from MinGW's ordinary import libraries. A delay-loaded
# DLL is resolved on first call, after the wizard has restricted the DLL search path to the
# system folder, so a DLL of the same name planted beside the stub is never loaded.
function(brindle_delay_import out_var)
  set(result)
  foreach(dll IN LISTS ARGN)
    set(out "${CMAKE_BINARY_DIR}/delayimp/lib${dll}_delay.a")
    if(NOT EXISTS "${out}")
      set(implib "${CMAKE_FIND_ROOT_PATH}/lib/lib${dll}.a")
      if(NOT EXISTS "${implib}")
        message(FATAL_ERROR "no import library ${implib}")
      endif()
      execute_process(COMMAND ${CMAKE_NM} "${implib}" OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
      string(REGEX MATCHALL "__imp__?[A-Za-z0-9_@?$]+" imports "${symbols}")
      list(REMOVE_DUPLICATES imports)
      set(def "LIBRARY ${dll}.dll\nEXPORTS\n")
      foreach(symbol IN LISTS imports)
        if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
          string(REGEX REPLACE "^__imp__" "" name "${symbol}")
        else()
          string(REGEX REPLACE "^__imp_" "" name "${symbol}")
        endif()
        string(APPEND def "${name}\n")
      endforeach()
      file(WRITE "${CMAKE_BINARY_DIR}/delayimp/${dll}.def" "${def}")
      execute_process(
        COMMAND ${CMAKE_DLLTOOL} --kill-at --input-def "${CMAKE_BINARY_DIR}/delayimp/${dll}.def"
                --dllname ${dll}.dll --output-delaylib "${out}"
        COMMAND_ERROR_IS_FATAL ANY)
    endif()
    list(APPEND result "${out}")
  endforeach()
  set(${out_var} ${result} PARENT_SCOPE)
endfunction()
