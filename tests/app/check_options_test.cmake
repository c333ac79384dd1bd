# cmake -DSONAVEL_APP_DIR=... -DSONAVEL_TOKEN_HOST=... (and the other three) -P this
# Prints "ok" when the options pass the application's checks; fails with their message otherwise.
include(${SONAVEL_APP_DIR}/check_options.cmake)
sonavel_check_host(SONAVEL_TOKEN_HOST)
sonavel_check_host(SONAVEL_SPEECH_HOST)
sonavel_check_key(SONAVEL_API_KEY 24)
sonavel_check_key(SONAVEL_SECRET_KEY 32)
message("ok")
