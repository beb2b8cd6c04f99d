#pragma once

#include <QString>

class DataFile;

// What the user is told after opening a file that the reader had to patch:
// how many records had a time it could not read and how many were cut
// short. Empty when the file was whole.
QString openProblemsText(const DataFile &file);
