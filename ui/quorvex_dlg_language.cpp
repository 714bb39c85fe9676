// The window in the language pack's words: its controls, columns and
// texts, the list of languages and a switch between them.

#include <QComboBox>
#include <QLineEdit>
#include <QTableView>
#include <array>
#include <string>

#include "config/app_settings.h"
#include "config/language_choice.h"
#include "config/text_convert.h"
#include "config/xml_extern.h"
#include "ui/device_list_model.h"
#include "ui/quorvex_app.h"
#include "ui/quorvex_dlg.h"
#include "ui/record_text.h"
#include "ui/resource_ids.h"
#include "ui/window_texts.h"

namespace quorvex {

namespace {

QString ToQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string ToU16(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<std::size_t>(text.size()));
}

}  // namespace

QString CQuorvexDlg::Text(int id) const {
    return UiText(language_, id);
}

void CQuorvexDlg::ApplyTexts() {
    DeviceListModel::Texts texts;
    // A pack from before the address was shown there still names the place.
    std::array<char16_t, kTextCapacity> own{};
    std::array<char16_t, kTextCapacity> place{};
    language_.GetString(IDS_OUTSIDE_AT, own);
    language_.GetString(IDS_OUTSIDE_SUBNET, place);
    if (own[0] != u'\0') {
        texts.outside = QString::fromUtf16(own.data());
    } else if (place[0] != u'\0') {
        texts.outside = QStringLiteral("%1 \u2014 ") + QString::fromUtf16(place.data());
    } else {
        texts.outside = DefaultUiText(IDS_OUTSIDE_AT);
    }
    texts.own_address = Text(IDS_OWN_ADDRESS);
    texts.silent = Text(IDS_SILENT_TOOLTIP);
    texts.duplicate = Text(IDS_CONFLICT_DUPLICATE);
    texts.host_conflict = Text(IDS_CONFLICT_HOST);
    texts.pending = Text(IDS_CHANGE_PENDING);
    texts.confirmed = Text(IDS_CHANGE_CONFIRMED);
    texts.not_confirmed = Text(IDS_CHANGE_NOT_CONFIRMED);
    model_->SetTexts(std::move(texts));
    filter_->setPlaceholderText(Text(IDS_FILTER_PLACEHOLDER));
    UpdateStatusLine();
}

void CQuorvexDlg::LanguageFill() {
    language_.ApplyDialog(&CQuorvexDlg::ColumnCallback, this, static_cast<QWidget*>(this),
                          IDD_MAIN);
    ApplyTexts();

    const AppSettings settings = ReadSettings();
    const QSignalBlocker quiet(language_box_);
    int selected = -1;
    for (std::size_t i = 0; i < settings.languages.size(); ++i) {
        language_box_->addItem(ToQString(settings.languages[i].text));
        if (selected < 0 &&
            EqualsIgnoringAsciiCase(settings.languages[i].text, settings.language)) {
            selected = static_cast<int>(i);
        }
    }
    // When the configured language is not listed no item is in force, so the
    // first pick of any item switches.
    language_box_->setCurrentIndex(selected);
    current_language_index_ = selected;
}

void CQuorvexDlg::ColumnCallback(const XmlExtern& pack, const Xml::Node& control, int,
                                 void* context, std::int32_t) {
    auto* self = static_cast<CQuorvexDlg*>(context);
    const int count = pack.CountChildren(control, "columnlist");
    if (count < 1) return;
    // One buffer for the whole walk: a title too long to read repeats the
    // previous one.
    std::array<char16_t, kTextCapacity> title{};
    for (int i = 1; i <= count; ++i) {
        const Xml::Node* column = nullptr;
        if (!pack.GetChild("column", control, "columnlist", i, column)) break;
        const int width = pack.GetInt("<xmlattr>.width", *column, 0);
        pack.GetNodeText(*column, title);
        const QString text = QString::fromUtf16(title.data());
        const int index = i - 1;
        if (index < self->model_->columnCount()) {
            self->model_->SetColumnTitle(index, text);
        } else {
            self->model_->AppendColumn(text);
            // The pack's width is where a new column starts; the columns
            // fit their content once devices are listed.
            self->list_->setColumnWidth(index, std::max(width, 0));
        }
    }
}

void CQuorvexDlg::OnLanguageSelected(int index) {
    if (index == current_language_index_) return;

    // The choice goes into the user's own config.xml (made from the one read
    // at start when there is none yet); a shipped or shared file is never
    // written.
    const std::u16string text = ToU16(language_box_->itemText(index).left(259));
    const LanguageChoiceSaved saved = SaveLanguageChoice(text);

    app_.LoadCurrentLanguage();
    language_box_->clear();
    LanguageFill();
    if (saved.saved) {
        ShowNotice({}, false);
    } else {
        ShowNotice(
            Text(IDS_LANGUAGE_NOT_SAVED).arg(StripControls(QString::fromStdString(saved.problem))),
            true);
    }
    OnRefreshList();
}

}  // namespace quorvex
