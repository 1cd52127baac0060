#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <chrono>

#include "convert/run/run_report.h"

class QProgressDialog;
class QWidget;

namespace rowsmith {

// Keeps the window alive during a conversion: a busy cursor from the start,
// and once the run has taken longer than delay, a modal progress dialog
// over owner with the percent of the input read and a Cancel button. The
// run stays on this thread; events are handled between blocks of input.
class ConversionProgress : public RunObserver {
public:
    ConversionProgress(QWidget* owner, const QString& inputFile, std::chrono::milliseconds delay);
    ~ConversionProgress() override;
    ConversionProgress(const ConversionProgress&) = delete;
    ConversionProgress& operator=(const ConversionProgress&) = delete;

    bool Continue(std::uint64_t bytesRead, std::uint64_t totalBytes) override;

private:
    // Takes the progress dialog and the busy cursor away.
    void Finish();

    QWidget* owner_;
    QString inputFile_;
    std::chrono::milliseconds delay_;
    QElapsedTimer elapsed_;
    QPointer<QProgressDialog> dialog_;
    bool busy_ = true;
};

}  // namespace rowsmith
