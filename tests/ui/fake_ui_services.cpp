#include "fake_ui_services.h"

#include "ui/string_table.h"

namespace rowsmith::test {

UiServices FakeUiServices::Make() {
    return UiServices{
        [this](QWidget* owner, const QString& text, const QString& caption, QMessageBox::Icon icon) {
            messages.push_back({text, caption, icon, owner});
        },
        [this](QWidget*, const FilePickerRequest& request, const QString& current) {
            pickerFilters.emplace_back(request.filterList);
            pickerStarts.push_back(current);
            if (whilePicking) whilePicking();
            return pickedFiles;
        },
        [this](const QUrl& url) {
            openedUrls.push_back(url);
            return urlOpens;
        },
        [this](const QString& file, unsigned context) {
            helpRequests.emplace_back(file, context);
            return helpViewerStarts;
        },
        [this](QWidget*) { ++aboutBoxesShown; },
        [this](QWidget*, const ConversionOptions& options, const ConversionSettings&) {
            optionsShown.push_back(options);
            return optionsAnswer;
        },
        [this](QWidget*, const QString& text, const QString&, const QStringList& offered) {
            questions.push_back(text);
            choices.push_back(offered);
            return answer;
        },
        [this](int id) {
            const auto found = stringOverrides.find(id);
            return found != stringOverrides.end() ? found->second : LoadString(id);
        },
    };
}

}  // namespace rowsmith::test
