# Compresses one file with gzip, without needing a gzip program:
#   cmake -DINPUT=file -DOUTPUT=file.gz -P gzip-file.cmake
file(ARCHIVE_CREATE OUTPUT ${OUTPUT} PATHS ${INPUT} FORMAT raw COMPRESSION GZip
     COMPRESSION_LEVEL 9)
