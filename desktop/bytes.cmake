# bytes.cmake -- writes the bytes of file IN to OUT as a C array initialiser ("0x89,0x50,...").
file(READ ${IN} hex HEX)
string(REGEX REPLACE "(..)" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(([^,]*,){16})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUT} "${bytes}\n")
