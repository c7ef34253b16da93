// Save as...: the dialog, the numbered default name, the writing by format.
#include "app/output/save_as.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <algorithm>
#include <cctype>
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

int Highest_series_number(const std::filesystem::path& folder, const std::string& stem,
                          bool any_case) {
    const auto same = [any_case](char a, char b) {
        return any_case ? std::tolower(static_cast<unsigned char>(a)) ==
                              std::tolower(static_cast<unsigned char>(b))
                        : a == b;
    };
    int highest = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end;
         !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() < stem.size() + 5 || name[stem.size()] != '-' ||
            !std::equal(stem.begin(), stem.end(), name.begin(), same))
            continue;
        // The number ends where the digits end ("-ch1.csv", ".png", nothing).
        const std::size_t digits = name.find_first_not_of("0123456789", stem.size() + 1);
        const std::size_t count =
            (digits == std::string::npos ? name.size() : digits) - (stem.size() + 1);
        if (count >= 4 && count <= 9)
            highest = std::max(highest, std::stoi(name.substr(stem.size() + 1, count)));
    }
    return highest;
}

std::string Next_numbered_name(const std::string& folder, const std::string& extension) {
    // The folder's name is UTF-8, as Qt gives it.
    const std::filesystem::path dir(std::u8string(folder.begin(), folder.end()));
    char name[48];
    std::snprintf(name, sizeof name, "hp54200a-%04d%s",
                  Highest_series_number(dir, "hp54200a", true) + 1, extension.c_str());
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

namespace {

// The path with its type's extension; the extension in lower case.
std::string Completed(std::string& path, const std::string& default_extension) {
    std::string extension = Lower(std::filesystem::path(path).extension().string());
    if (extension != ".png" && extension != ".svg" && extension != ".pdf" && extension != ".csv") {
        path += default_extension;
        extension = default_extension;
    }
    return extension;
}

// Asks once before files that are there are replaced; true when none is, or the operator agrees.
bool May_replace(QWidget* parent, const std::vector<std::string>& files) {
    QStringList there;
    for (const std::string& f : files) {
        if (QFileInfo::exists(QString::fromStdString(f)))
            there << QString::fromStdString(f);
    }
    if (there.isEmpty())
        return true;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Save as"),
                    (there.size() == 1 ? QStringLiteral("This file is already there:")
                                       : QStringLiteral("These files are already there:")) +
                        QStringLiteral("\n\n") + there.join(QLatin1Char('\n')) +
                        QStringLiteral("\n\nReplace ") +
                        (there.size() == 1 ? QStringLiteral("it?") : QStringLiteral("them?")),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setObjectName(QStringLiteral("ReplaceFilesBox"));
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Replace"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Cancel"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace

std::vector<std::string> Files_to_write(std::string path, const std::string& default_extension) {
    if (Completed(path, default_extension) == ".csv")
        return Csv_paths(path);
    return {path};
}

SaveOutcome Save_as(std::string path, const std::string& default_extension, int width, int height) {
    SaveOutcome out;
    if (Completed(path, default_extension) == ".csv") {
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
    // The question comes after the choice, for every file the save would write at once.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
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
    const std::string path = dialog.selectedFiles().first().toStdString();
    const std::vector<std::string> files = Files_to_write(path, default_extension);
    platform::Platform& p = platform::current();
    if (files.empty()) {
        p.message_box(platform::BoxKind::Error, "File Error",
                      "No graph is shown: nothing to write.");
        return;
    }
    if (!May_replace(parent, files))
        return;
    const SaveOutcome r = Save_as(path, default_extension, width, height);
    if (!r.error.empty()) {
        p.message_box(platform::BoxKind::Error, "File Error", "Could not write " + r.error);
        return;
    }
    Remember_save_folder(std::filesystem::path(r.written.front()).parent_path().string());
    p.message_box(platform::BoxKind::Plain, "", "OK: " + Joined(r.written) + " written.");
}

}  // namespace app
