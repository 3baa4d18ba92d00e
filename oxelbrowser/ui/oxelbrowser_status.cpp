// The status line below the tabs: the last line written to standard error
// (which still goes there), refusals and what a command found; and the
// progress of a long operation with its Cancel button.
#include "OXELBrowser.h"
#include "line_tee.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm> // std::find
#include <iostream>
#include <vector>

namespace
{

// Standard error goes through one tee for the whole program; every window
// open at the time shows its lines.
struct error_lines {
    line_tee *tee = nullptr;
    std::vector<OXELBrowser *> windows;
};

error_lines &shared_lines()
{
    static error_lines lines;
    return lines;
}

// The status row, under the tab widget of the designed frame.
const QRect status_row(10, 861, 600, 16);
const int bar_width = 160;
const int cancel_width = 70;

} // namespace

void OXELBrowser::createStatusLine()
{
    m_status = new QLabel(this);
    m_status->setObjectName("label_status");
    m_status->setGeometry(status_row);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName("progressBar_operation");
    m_progress->setTextVisible(false);
    m_progress->setGeometry(status_row.right() - cancel_width - bar_width - 4, status_row.y(),
                            bar_width, status_row.height());
    m_progress->hide();
    m_cancel = new QPushButton(tr("Cancel"), this);
    m_cancel->setObjectName("pushButton_cancel");
    m_cancel->setFocusPolicy(Qt::NoFocus);
    m_cancel->setGeometry(status_row.right() - cancel_width + 1, status_row.y(), cancel_width,
                          status_row.height());
    m_cancel->hide();
    connect(m_cancel, &QPushButton::clicked, this, [this] { stopRunningOperation(); });

    error_lines &lines = shared_lines();
    if (!lines.tee) {
        lines.tee = new line_tee(std::cerr.rdbuf(), [](const std::string &line) {
            for (OXELBrowser *w : shared_lines().windows)
                w->showStatus(QString::fromLocal8Bit(line.c_str()));
        });
        std::cerr.rdbuf(lines.tee);
    }
    lines.windows.push_back(this);
}

void OXELBrowser::releaseStatusLine()
{
    error_lines &lines = shared_lines();
    lines.windows.erase(std::remove(lines.windows.begin(), lines.windows.end(), this),
                        lines.windows.end());
    // The tee goes with the last window, unless standard error was handed
    // elsewhere meanwhile (whoever did so may hand it back to the tee).
    if (lines.windows.empty() && lines.tee && std::cerr.rdbuf() == lines.tee) {
        std::cerr.rdbuf(lines.tee->next());
        delete lines.tee;
        lines.tee = nullptr;
    }
}

void OXELBrowser::showStatus(const QString &text)
{
    if (!m_status)
        return;
    m_status->setToolTip(text);
    // While an operation runs, its bar and Cancel button cover the line's end.
    const int room = m_progress && m_progress->isVisible() ? m_progress->x() - m_status->x() - 5
                                                           : m_status->width();
    m_status->setText(m_status->fontMetrics().elidedText(text, Qt::ElideRight, room));
}

QString OXELBrowser::statusText() const
{
    return m_status ? m_status->toolTip() : QString();
}

void OXELBrowser::progressBegin(const QString &what, long long total)
{
    if (m_progress_depth++ > 0)
        return;
    m_progress_total = total;
    m_progress->setRange(0, total > 0 ? 1000 : 0);
    m_progress->setValue(0);
    m_progress->show();
    m_progress->raise();
    m_cancel->show();
    m_cancel->raise();
    showStatus(what);
}

void OXELBrowser::progressStep(long long done)
{
    if (m_progress_depth <= 0 || m_progress_total <= 0)
        return;
    const int value = static_cast<int>(std::min(done, m_progress_total) * 1000 / m_progress_total);
    if (value != m_progress->value())
        m_progress->setValue(value);
}

void OXELBrowser::progressStep(long long done, long long total)
{
    // Only the outermost operation owns the bar and its total.
    if (m_progress_depth != 1)
        return;
    if (total != m_progress_total) {
        m_progress_total = total;
        m_progress->setRange(0, total > 0 ? 1000 : 0);
    }
    progressStep(done);
}

void OXELBrowser::progressEnd()
{
    if (m_progress_depth <= 0 || --m_progress_depth > 0)
        return;
    m_progress->hide();
    m_cancel->hide();
    showStatus(statusText());
}
