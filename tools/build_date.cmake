# Writes the header that records when the program was built (UTC), as the
# arguments of library::BuildDate. Run by the build whenever a library of the
# program was rebuilt: cmake -DOUT=file -P build_date.cmake
string(TIMESTAMP parts "%Y, %m, %d, %H, %M, %S" UTC)
# Leading zeros would read as octal.
string(REGEX REPLACE "(^| )0([0-9])" "\\1\\2" parts "${parts}")
file(WRITE ${OUT} "// Generated at build time by tools/build_date.cmake.\n#define XEB_BUILD_DATE ${parts}\n")
