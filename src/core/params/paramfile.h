// The parameter file: a text file of 16 integers, the words of the parameter block in their
// order (entry i of the parameter table is word i).
#pragma once

namespace ovx::params {

constexpr int kParamFileWords = 16;

// Writes the sixteen variables to path, each zero-extended, one per line (field width 4, wider
// values in full); the old file is replaced only by a whole new one. 1 when written; -1 when it
// cannot be (the old file is kept), with the cause in error (capacity bytes).
int WriteParamFile(const char* path, char* error, int capacity);
// Reads path into the sixteen variables, each taking the low 16 bits of its value. 1 when
// loaded; -1 when the file cannot be read or holds another count of integers than 16: the
// variables keep their values, and error names the cause (and the count).
int ReadParamFile(const char* path, char* error, int capacity);

} // namespace ovx::params
