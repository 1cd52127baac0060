#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>

#include <optional>
#include <string>

#include "convert/detect/format_detection.h"
#include "convert/run/run_report.h"

class QProgressDialog;
class QWidget;

namespace rowsmith {

// Runs work on a thread of its own while the window's own thread goes on
// handling its events: it repaints, moves and resizes, and takes no input
// until takesInput says it may (a modal dialog of the work's is shown).
// tick is called on the window's thread every few milliseconds. Returns
// once work has ended.
void WhileWorking(const std::function<void()>& work, const std::function<void()>& tick = {},
                  const std::function<bool()>& takesInput = {});

// DetectFile of the (first) input the input box names, on a thread of its
// own (WhileWorking).
std::optional<Detection> DetectOffTheWindowThread(const std::string& inputBox);

// Shows how a conversion goes while it runs on a thread of its own: a busy
// cursor from the start, and once the run has taken longer than delay, a
// modal progress dialog over owner with the percent of the input read and a
// Cancel button. Continue is called on the run's thread; Tick and shown on
// the window's.
class ConversionProgress : public RunObserver {
public:
    ConversionProgress(QWidget* owner, const std::string& inputBox, std::chrono::milliseconds delay);
    ~ConversionProgress() override;
    ConversionProgress(const ConversionProgress&) = delete;
    ConversionProgress& operator=(const ConversionProgress&) = delete;

    bool Continue(std::uint64_t bytesRead, std::uint64_t totalBytes) override;

    // Shows the dialog once the run has taken longer than the delay, with
    // how far it is; its Cancel stops the run after the statement being
    // written.
    void Tick();
    bool shown() const;

private:
    // Takes the progress dialog and the busy cursor away.
    void Finish();

    QWidget* owner_;
    QString converting_;  // what the dialog says is converted: a file's name, or how many
    std::chrono::milliseconds delay_;
    QElapsedTimer elapsed_;
    QPointer<QProgressDialog> dialog_;
    bool busy_ = true;
    std::atomic<std::uint64_t> read_{0};
    std::atomic<std::uint64_t> total_{0};
    std::atomic<bool> cancelled_{false};
};

}  // namespace rowsmith
