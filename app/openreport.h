#pragma once

#include <QList>
#include <QString>

class DataFile;
enum class LoadFailure;
struct OpenFailure;

// What the user is told after opening a file that the reader had to patch:
// how many records had a time it could not read and how many were cut
// short. Empty when the file was whole.
QString openProblemsText(const DataFile &file);

// Why a file did not open, in a few words: "文件不存在", "不是数据文件",
// "无法读取", "内存不足".
QString openFailureReason(LoadFailure failure);

// The one message about the files that did not open (failure not None),
// each named with why, so that among several handed over at once the user
// can tell which; empty when all opened.
QString openFailuresText(const QList<OpenFailure> &failures);
