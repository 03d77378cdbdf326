cmake_minimum_required(VERSION 3.25)
# The page an owner opens: the template with the program (JavaScript with
# its WebAssembly inside) in its place, one self-contained file:
# cmake -DTEMPLATE=... -DPROGRAM=....js -DOUT=....html -DTITLE=... -DPROGRAM_TEXT=... -P web-page.cmake
file(READ ${TEMPLATE} page)
file(READ ${PROGRAM} program)
# Nothing in the program may end its script element early.
string(REPLACE "</script" "<\\/script" program "${program}")
string(REPLACE "@TITLE@" "${TITLE}" page "${page}")
string(REPLACE "@PROGRAM_TEXT@" "${PROGRAM_TEXT}" page "${page}")
string(REPLACE "/*@PROGRAM@*/" "${program}" page "${page}")
file(WRITE ${OUT} "${page}")
