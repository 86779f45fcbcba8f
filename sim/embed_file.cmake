# Writes the bytes of INPUT as a C initializer list ("0x23,0x20,...") to OUTPUT, so a
# file shipped beside the sources is also built in and the two cannot drift apart.
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," body "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" body "${body}")
file(WRITE "${OUTPUT}.tmp" "${body}\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
