#pragma once
// Seeking to the data and holes of a sparse file. The browser's file system
// knows no holes and no such seek: there every seek for them fails and the
// files are read whole, as on a file system without hole support.
#include <unistd.h>

#ifndef SEEK_DATA
#define SEEK_DATA 3
#define SEEK_HOLE 4
#endif
