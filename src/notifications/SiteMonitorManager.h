#pragma once

#include "platform/UserDefaults.h"

#include <QObject>
#include <QPointer>

namespace plimsy {

class SiteMonitorDelegate
{
public:
    virtual ~SiteMonitorDelegate() = default;
    // Once per pass, on the GUI thread.
    virtual void siteMonitorDidFinish() = 0;
};

// Runs the passes of site checks. This build has no site checker yet: a pass checks nothing, leaves
// every site unchecked and reports its end, so the menu shows no state it does not know.
class SiteMonitorManager : public QObject
{
    Q_OBJECT

public:
    explicit SiteMonitorManager(SiteMonitorDelegate *delegate, QObject *parent = nullptr);

    bool isChecking() const { return m_isChecking; }
    void checkAllSites();

    // The stored "monitorSitesInterval" made usable: an allowed value as it is, below the smallest
    // allowed the smallest, otherwise `fallback`; a corrected value is stored back under the key.
    static qint64 setMonitorInterval(qint64 value,
                                     const QList<qint64> &allowed,
                                     qint64 fallback,
                                     UserDefaults &defaults = UserDefaults::standard());

private:
    SiteMonitorDelegate *m_delegate;
    bool m_isChecking = false;

    Q_DISABLE_COPY_MOVE(SiteMonitorManager)
};

} // namespace plimsy
