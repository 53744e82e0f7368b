# The release public key as the builds carry it: the 65-byte uncompressed
# point of an ECDSA P-256 key, in hex, taken from a PEM public key file by
# openssl at configure time.

# The DER header of every P-256 public key in uncompressed form: the key is
# the 64 bytes after it (and the 0x04 that ends it).
set(TESSAVIN_P256_KEY_PREFIX "3059301306072a8648ce3d020106082a8648ce3d030107034200")

function(tessavin_public_key_hex pem out_var)
  if(NOT EXISTS "${pem}")
    message(FATAL_ERROR "Release public key file not found: ${pem}")
  endif()
  find_program(TESSAVIN_OPENSSL openssl REQUIRED)
  string(MD5 tag "${pem}")
  set(der ${CMAKE_BINARY_DIR}/release-key-${tag}.der)
  execute_process(
    COMMAND ${TESSAVIN_OPENSSL} pkey -pubin -in ${pem} -outform DER -out ${der}
    RESULT_VARIABLE failed ERROR_VARIABLE errors)
  if(failed)
    message(FATAL_ERROR "${pem} is not a PEM public key:\n${errors}")
  endif()
  file(READ ${der} hex HEX)
  file(REMOVE ${der})
  string(LENGTH "${TESSAVIN_P256_KEY_PREFIX}" prefix_length)
  string(LENGTH "${hex}" length)
  if(NOT length EQUAL 182)
    set(hex "")
  endif()
  string(SUBSTRING "${hex}" 0 ${prefix_length} prefix)
  if(NOT prefix STREQUAL TESSAVIN_P256_KEY_PREFIX)
    message(FATAL_ERROR "${pem} is not an ECDSA P-256 (prime256v1) public key")
  endif()
  string(SUBSTRING "${hex}" ${prefix_length} -1 point)
  set(${out_var} "${point}" PARENT_SCOPE)
endfunction()
