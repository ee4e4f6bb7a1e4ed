# Signs one Windows executable in place with Authenticode (osslsigncode), when a certificate is
# given in the environment; does nothing otherwise.
#
#   PELLORA_SIGN_CERT           certificate (chain) file, PEM or DER
#   PELLORA_SIGN_KEY            its private key, PEM or DER
#   PELLORA_SIGN_PASSWORD_FILE  (optional) file holding the key's password
#   PELLORA_SIGN_TIMESTAMP_URL  (optional) RFC 3161 time-stamping server
#
# Usage: cmake -DOSSLSIGNCODE=<osslsigncode> -P sign.cmake <file>
# Without a time-stamping server the signing time is SOURCE_DATE_EPOCH, so a signed build stays
# reproducible (the RSA signature itself is deterministic).
cmake_minimum_required(VERSION 3.20)

math(EXPR last "${CMAKE_ARGC} - 1")
set(file "${CMAKE_ARGV${last}}")
if(NOT DEFINED ENV{PELLORA_SIGN_CERT} OR "$ENV{PELLORA_SIGN_CERT}" STREQUAL "")
    return()
endif()
if(NOT DEFINED ENV{PELLORA_SIGN_KEY} OR "$ENV{PELLORA_SIGN_KEY}" STREQUAL "")
    message(FATAL_ERROR "PELLORA_SIGN_CERT is set but PELLORA_SIGN_KEY is not")
endif()
if(NOT OSSLSIGNCODE)
    find_program(OSSLSIGNCODE osslsigncode)
endif()
if(NOT OSSLSIGNCODE)
    message(FATAL_ERROR "a signing certificate is given but osslsigncode was not found")
endif()

set(args sign -h sha256 -n Pellora -certs "$ENV{PELLORA_SIGN_CERT}" -key "$ENV{PELLORA_SIGN_KEY}")
if(DEFINED ENV{PELLORA_SIGN_PASSWORD_FILE} AND NOT "$ENV{PELLORA_SIGN_PASSWORD_FILE}" STREQUAL "")
    list(APPEND args -readpass "$ENV{PELLORA_SIGN_PASSWORD_FILE}")
endif()
if(DEFINED ENV{PELLORA_SIGN_TIMESTAMP_URL} AND NOT "$ENV{PELLORA_SIGN_TIMESTAMP_URL}" STREQUAL "")
    list(APPEND args -ts "$ENV{PELLORA_SIGN_TIMESTAMP_URL}")
elseif(DEFINED ENV{SOURCE_DATE_EPOCH})
    list(APPEND args -time "$ENV{SOURCE_DATE_EPOCH}")
endif()

file(REMOVE "${file}.signed")
execute_process(COMMAND "${OSSLSIGNCODE}" ${args} -in "${file}" -out "${file}.signed"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    file(REMOVE "${file}.signed")
    message(FATAL_ERROR "signing ${file} failed:\n${output}")
endif()
file(RENAME "${file}.signed" "${file}")
