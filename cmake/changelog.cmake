# Stops unless CHANGELOG.md has a dated section for VERSION: no release goes
# out, and no version bump passes the tests, without its entry.
# Run with -DSOURCE_DIR=... -DVERSION=..., or include it with both set.
string(REPLACE "." "\\." version_pattern "${VERSION}")
file(STRINGS ${SOURCE_DIR}/CHANGELOG.md section
     REGEX "^## \\[${version_pattern}\\] - [0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$")
if(NOT section)
  message(FATAL_ERROR "CHANGELOG.md has no section for ${VERSION}, the project version: "
                      "add one headed \"## [${VERSION}] - YYYY-MM-DD\" that says what "
                      "changed for users.")
endif()
