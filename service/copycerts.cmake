# Run at every build (cmake -P): puts beside the programs
#   cacert.pem        the local CA (tools/make-certs.sh) followed by the system bundle,
#   service-cert.pem  the local service's certificate,
#   service-key.pem   and its key,
# when the local CA exists. Missing files are not an error: a machine that has not
# run the set-up yet simply gets the system bundle alone.
# Inputs: TLS_DIR, SYSTEM_BUNDLE, OUT_DIR.
set(bundle "")
if(EXISTS "${TLS_DIR}/ca.pem")
  file(READ "${TLS_DIR}/ca.pem" ca)
  string(APPEND bundle "${ca}\n")
endif()
if(EXISTS "${SYSTEM_BUNDLE}")
  file(READ "${SYSTEM_BUNDLE}" system)
  string(APPEND bundle "${system}")
endif()
file(MAKE_DIRECTORY "${OUT_DIR}")
if(NOT bundle STREQUAL "")
  file(WRITE "${OUT_DIR}/cacert.pem.new" "${bundle}")
  file(COPY_FILE "${OUT_DIR}/cacert.pem.new" "${OUT_DIR}/cacert.pem" ONLY_IF_DIFFERENT)
  file(REMOVE "${OUT_DIR}/cacert.pem.new")
endif()
foreach(pair "server-cert.pem;service-cert.pem" "server-key.pem;service-key.pem")
  list(GET pair 0 from)
  list(GET pair 1 to)
  if(EXISTS "${TLS_DIR}/${from}")
    file(COPY_FILE "${TLS_DIR}/${from}" "${OUT_DIR}/${to}" ONLY_IF_DIFFERENT)
  endif()
endforeach()
