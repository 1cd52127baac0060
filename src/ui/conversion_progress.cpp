#include "ui/conversion_progress.h"

#include <QApplication>
#include <QFileInfo>
#include <QProgressDialog>

namespace rowsmith {

ConversionProgress::ConversionProgress(QWidget* owner, const QString& inputFile, std::chrono::milliseconds delay)
    : owner_(owner), inputFile_(inputFile), delay_(delay) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    elapsed_.start();
}

ConversionProgress::~ConversionProgress() {
    Finish();
}

bool ConversionProgress::Continue(std::uint64_t bytesRead, std::uint64_t totalBytes) {
    if (!dialog_) {
        if (elapsed_.elapsed() < delay_.count()) return true;
        dialog_ = new QProgressDialog(owner_);
        dialog_->setObjectName(QStringLiteral("progress"));
        dialog_->setWindowTitle(QStringLiteral("Converting"));
        dialog_->setLabelText(QStringLiteral("Converting %1").arg(QFileInfo(inputFile_).fileName()));
        dialog_->setCancelButtonText(QStringLiteral("Cancel"));
        dialog_->setWindowModality(Qt::WindowModal);
        dialog_->setMinimumDuration(0);
        dialog_->setAutoReset(false);
        dialog_->setAutoClose(false);
        // Without a size, a busy indicator instead of a percentage.
        dialog_->setRange(0, totalBytes > 0 ? 100 : 0);
        dialog_->show();
    }
    if (totalBytes > 0) dialog_->setValue(static_cast<int>(bytesRead * 100 / totalBytes));
    QCoreApplication::processEvents();
    return !dialog_->wasCanceled();
}

void ConversionProgress::Finish() {
    delete dialog_.data();
    if (busy_) QApplication::restoreOverrideCursor();
    busy_ = false;
}

}  // namespace rowsmith
