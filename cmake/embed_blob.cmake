# cmake -DIN=<file> -DOUT=<file.cpp> -DSYMBOL=<name> -P embed_blob.cmake
# Writes a C++ source holding the file's bytes as SYMBOL and SYMBOL##Size.
file(READ ${IN} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE ${OUT}.new
     "#include <cstddef>\nextern const unsigned char ${SYMBOL}[] = {${bytes}};\n"
     "extern const size_t ${SYMBOL}Size = sizeof ${SYMBOL};\n")
configure_file(${OUT}.new ${OUT} COPYONLY)
