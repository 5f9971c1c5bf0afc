# A test build trusts a certificate authority made for it at configure time; the test services
# present certificates signed by it. The keys stay in the build tree.
set(HARBOLINK_TEST_PKI_DIR "${CMAKE_BINARY_DIR}/test-pki")
execute_process(COMMAND "${CMAKE_CURRENT_SOURCE_DIR}/scripts/make-pki.sh" "${HARBOLINK_TEST_PKI_DIR}"
                RESULT_VARIABLE _pki_result)
if(NOT _pki_result EQUAL 0)
    message(FATAL_ERROR "Could not make the test certificates (is openssl installed?)")
endif()
if(NOT HARBOLINK_EXTRA_CA_CERT)
    set(HARBOLINK_EXTRA_CA_CERT "${HARBOLINK_TEST_PKI_DIR}/ca.pem" CACHE FILEPATH
        "PEM file of CA certificates trusted in addition to the system store (embedded at build time)" FORCE)
endif()
