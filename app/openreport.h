#pragma once

#include "data/datamerge.h"

#include <QList>
#include <QString>

class DataFile;

// What the user is told after opening a file that the reader had to patch:
// how many records had a time it could not read and how many were cut
// short. Empty when the file was whole.
QString openProblemsText(const DataFile &file);

// What the user is told about files an open left out, one line each: the
// file and why ("文件不存在", "不是数据文件", "无法读取").
QString refusedFilesText(const QList<RefusedFile> &refused);
