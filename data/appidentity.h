#pragma once

class QCoreApplication;

constexpr const char kAppName[] = "ZEP";
constexpr const char kOrgName[] = "Tarvolt";
constexpr const char kAppVersion[] = "1.01测试版";

// Application name, organisation (which key the per-user settings store and
// the per-user data folder) and version, set before anything reads them.
void setApplicationIdentity(QCoreApplication &app);
