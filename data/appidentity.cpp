#include "data/appidentity.h"

#include <QCoreApplication>

void setApplicationIdentity(QCoreApplication &app)
{
    app.setApplicationName(QString::fromUtf8(kAppName));
    app.setOrganizationName(QString::fromUtf8(kOrgName));
    app.setApplicationVersion(QString::fromUtf8(kAppVersion));
}
