#include "ui/conversion_progress.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QTimer>
#include <thread>
#include <vector>

#include "convert/options/input_list.h"

namespace rowsmith {

void WhileWorking(const std::function<void()>& work, const std::function<void()>& tick,
                  const std::function<bool()>& takesInput) {
    std::atomic<bool> done{false};
    QEventLoop loop;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        if (tick) tick();
        // Input waits while no dialog of the work's takes it.
        if (done.load() || (takesInput && takesInput())) loop.quit();
    });
    // What is due before the work starts (a dialog shown at once, events
    // already waiting) comes first.
    if (tick) tick();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    std::thread worker([&work, &done] {
        work();
        done.store(true);
    });
    timer.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!done.load()) {
        QObject::disconnect(&timer, nullptr, &loop, nullptr);
        QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
            if (tick) tick();
            if (done.load()) loop.quit();
        });
        loop.exec();
    }
    worker.join();
}

std::optional<Detection> DetectOffTheWindowThread(const std::string& inputBox) {
    const std::string path = InputNames(inputBox).front();
    std::optional<Detection> detection;
    WhileWorking([&detection, &path] { detection = DetectFile(path); });
    return detection;
}

ConversionProgress::ConversionProgress(QWidget* owner, const std::string& inputBox, std::chrono::milliseconds delay)
    : owner_(owner), delay_(delay) {
    const std::vector<std::string> names = InputNames(inputBox);
    converting_ = names.size() == 1 ? QFileInfo(QFile::decodeName(QByteArray::fromStdString(names[0]))).fileName()
                                    : QStringLiteral("%1 files").arg(names.size());
    QApplication::setOverrideCursor(Qt::WaitCursor);
    elapsed_.start();
}

ConversionProgress::~ConversionProgress() {
    Finish();
}

bool ConversionProgress::Continue(std::uint64_t bytesRead, std::uint64_t totalBytes) {
    read_.store(bytesRead);
    total_.store(totalBytes);
    return !cancelled_.load();
}

void ConversionProgress::Tick() {
    const std::uint64_t total = total_.load();
    if (!dialog_) {
        if (elapsed_.elapsed() < delay_.count()) return;
        dialog_ = new QProgressDialog(owner_);
        dialog_->setObjectName(QStringLiteral("progress"));
        dialog_->setWindowTitle(QStringLiteral("Converting"));
        dialog_->setLabelText(QStringLiteral("Converting %1").arg(converting_));
        dialog_->setCancelButtonText(QStringLiteral("Cancel"));
        dialog_->setWindowModality(Qt::WindowModal);
        dialog_->setMinimumDuration(0);
        dialog_->setAutoReset(false);
        dialog_->setAutoClose(false);
        // Without a size, a busy indicator instead of a percentage.
        dialog_->setRange(0, 100);
        QObject::connect(dialog_.data(), &QProgressDialog::canceled, [this] { cancelled_.store(true); });
        dialog_->show();
    }
    if (total > 0) {
        dialog_->setRange(0, 100);
        dialog_->setValue(static_cast<int>(read_.load() * 100 / total));
    } else if (read_.load() > 0) {
        dialog_->setRange(0, 0);
    }
    if (dialog_->wasCanceled()) cancelled_.store(true);
}

bool ConversionProgress::shown() const {
    return !dialog_.isNull();
}

void ConversionProgress::Finish() {
    delete dialog_.data();
    if (busy_) QApplication::restoreOverrideCursor();
    busy_ = false;
}

}  // namespace rowsmith
