# Checks of the build-time constants of the application; configure stops
# with a message that says what is wrong.
#   sonavel_check_key(SONAVEL_API_KEY 24)   the variable holds exactly 24 letters and digits
#   sonavel_check_host(SONAVEL_TOKEN_HOST)  the variable is host or host:port

function(sonavel_check_key name length)
  string(LENGTH "${${name}}" actual)
  if(NOT actual EQUAL length OR NOT "${${name}}" MATCHES "^[A-Za-z0-9]+$")
    message(FATAL_ERROR
      "${name} must be exactly ${length} letters and digits (A-Z, a-z, 0-9); "
      "it is \"${${name}}\" (${actual} characters)")
  endif()
endfunction()

function(sonavel_check_host name)
  set(value "${${name}}")
  set(label "[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?")
  set(ok FALSE)
  if(value MATCHES "^(${label})(\\.${label})*(:([0-9]+))?$")
    set(ok TRUE)
    set(port "${CMAKE_MATCH_6}")
  elseif(value MATCHES "^\\[[0-9A-Fa-f:.]+\\](:([0-9]+))?$")
    set(ok TRUE)
    set(port "${CMAKE_MATCH_2}")
  endif()
  if(ok AND NOT port STREQUAL "")
    string(LENGTH "${port}" digits)
    if(digits GREATER 5 OR port LESS 1 OR port GREATER 65535)
      set(ok FALSE)
    endif()
  endif()
  if(NOT ok)
    message(FATAL_ERROR
      "${name} must be host or host:port (a DNS name, an IPv4 address or a bracketed IPv6 "
      "address, and a port from 1 to 65535), without scheme or path; it is \"${value}\"")
  endif()
endfunction()
