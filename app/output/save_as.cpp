// Save as...: the dialog, the numbered default name, the writing by format.
#include "app/output/save_as.h"

#include <QDir>
#include <QFileDialog>
#include <QRegularExpression>
#include <QSettings>
#include <algorithm>
#include <filesystem>

#include "app/connect/connection.h"
#include "app/output/csv_export.h"
#include "app/output/picture_export.h"
#include "platform/platform.h"

namespace app {
namespace {

constexpr const char* kFolderKey = "output/folder";
constexpr const char* kFilters =
    "PNG image (*.png);;SVG drawing (*.svg);;PDF document (*.pdf);;CSV data (*.csv)";

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
    return text;
}

}  // namespace

std::string Next_numbered_name(const std::string& folder, const std::string& extension) {
    static const QRegularExpression numbered(QStringLiteral("^hp54200a-(\\d{4,})\\."));
    int highest = 0;
    const QDir dir(QString::fromStdString(folder));
    for (const QString& name : dir.entryList(QDir::Files)) {
        const QRegularExpressionMatch m = numbered.match(name);
        if (m.hasMatch())
            highest = std::max(highest, m.captured(1).toInt());
    }
    char name[48];
    std::snprintf(name, sizeof name, "hp54200a-%04d%s", highest + 1, extension.c_str());
    return (std::filesystem::path(folder) / name).string();
}

std::string Last_save_folder() {
    const QSettings settings(kSettingsOrganization, kSettingsApplication);
    const QString folder = settings.value(kFolderKey).toString();
    if (!folder.isEmpty() && QDir(folder).exists())
        return folder.toStdString();
    return QDir::currentPath().toStdString();
}

void Remember_save_folder(const std::string& folder) {
    QSettings settings(kSettingsOrganization, kSettingsApplication);
    settings.setValue(kFolderKey, QString::fromStdString(folder));
}

SaveOutcome Save_as(std::string path, const std::string& default_extension, int width, int height) {
    SaveOutcome out;
    std::string extension = Lower(std::filesystem::path(path).extension().string());
    if (extension != ".png" && extension != ".svg" && extension != ".pdf" && extension != ".csv") {
        path += default_extension;
        extension = default_extension;
    }
    if (extension == ".csv") {
        const CsvResult r = Save_csv(path);
        out.written = r.written;
        out.error = r.error;
        return out;
    }
    const PictureFormat format = *Picture_format_of(path);
    if (const std::string why = Save_picture(format, path, width, height); !why.empty())
        out.error = path + ": " + why;
    else
        out.written.push_back(path);
    return out;
}

void Save_as_dialog(QWidget* parent, int width, int height) {
    QFileDialog dialog(parent, QStringLiteral("Save as"),
                       QString::fromStdString(Next_numbered_name(Last_save_folder(), ".png")),
                       QString::fromLatin1(kFilters));
    dialog.setObjectName(QStringLiteral("SaveAsDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The default name follows the type chosen, still numbered in the folder shown.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
        const QString ext = f.mid(f.indexOf(QStringLiteral("(*")) + 2).chopped(1);
        dialog.selectFile(QString::fromStdString(Next_numbered_name(
            dialog.directory().absolutePath().toStdString(), ext.toStdString())));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString filter = dialog.selectedNameFilter();
    const std::string default_extension =
        filter.mid(filter.indexOf(QStringLiteral("(*")) + 2).chopped(1).toStdString();
    const SaveOutcome r =
        Save_as(dialog.selectedFiles().first().toStdString(), default_extension, width, height);
    platform::Platform& p = platform::current();
    if (!r.error.empty()) {
        p.message_box(platform::BoxKind::Error, "File Error", "Could not write " + r.error);
        return;
    }
    Remember_save_folder(std::filesystem::path(r.written.front()).parent_path().string());
    p.message_box(platform::BoxKind::Plain, "", "OK: " + Joined(r.written) + " written.");
}

}  // namespace app
