# Writes INPUT as a byte array named SYMBOL into the C++ source OUTPUT.
file(READ ${INPUT} content HEX)
string(LENGTH "${content}" hex_length)
math(EXPR byte_count "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${content}")
file(WRITE ${OUTPUT}
  "#include <cstddef>\n"
  "extern const unsigned char ${SYMBOL}[] = {${bytes} 0x00};\n"
  "extern const std::size_t ${SYMBOL}_size = ${byte_count};\n")
