#include "ui/QtHost.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QLocale>

#include <stdexcept>

#include "engine/Messages.h"
#include "plot/Redraw.h"
#include "ui/MessageBoxes.h"
#include "ui/ModelWindow.h"
#include "ui/RasterImage.h"

namespace ravelle {

namespace {

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// File names travel as the file system's bytes, so that a name the locale
// cannot spell still opens.
QString fromFileName(const std::string& name)
{
    return QFile::decodeName(QByteArray(name.data(), static_cast<qsizetype>(name.size())));
}

std::string toFileName(const QString& name)
{
    return QFile::encodeName(name).toStdString();
}

bool isPattern(const QString& text)
{
    return text.contains(u'*') || text.contains(u'?');
}

// The open dialog treats a pattern in its file-name box as the pattern of its
// listing, on entry and whenever the user confirms one, instead of taking it
// for the name of a file.
class OpenFileDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void listPattern(const QString& pattern)
    {
        if (auto* model = findChild<QFileSystemModel*>())
            model->setNameFilters(QStringList{pattern});
    }

    void accept() override
    {
        if (auto* fileNameBox = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
            const QString typed = fileNameBox->text().trimmed();
            const qsizetype slash = typed.lastIndexOf(u'/');
            const QString pattern = typed.mid(slash + 1);
            if (isPattern(pattern)) {
                // "/data/*.dat" goes to /data and lists its .dat files.
                if (slash >= 0) {
                    const QString folder = slash == 0 ? QStringLiteral("/") : typed.left(slash);
                    const QFileInfo folderInfo(QDir(directory()).absoluteFilePath(folder));
                    if (folderInfo.isDir())
                        setDirectory(folderInfo.absoluteFilePath());
                    fileNameBox->setText(pattern);
                }
                listPattern(pattern);
                return;
            }
        }
        QFileDialog::accept();
    }
};

} // namespace

char decimalSeparatorOf(const QString& decimalPoint)
{
    if (decimalPoint.size() == 1) {
        const char16_t c = decimalPoint.front().unicode();
        if (c > 0x20 && c < 0x7F)
            return static_cast<char>(c);
    }
    return '.';
}

QtHost::QtHost(QWidget* window, std::map<std::string, QLineEdit*, std::less<>> boxes, RasterImage* image,
               QString title)
    : window_(window), boxes_(std::move(boxes)), image_(image), title_(std::move(title)),
      longWork_(window, title_)
{
}

QLineEdit* QtHost::box(std::string_view name) const
{
    const auto found = boxes_.find(name);
    if (found == boxes_.end())
        throw std::logic_error("no box named " + std::string(name));
    return found->second;
}

std::string QtHost::boxText(std::string_view name) const
{
    return box(name)->text().toStdString();
}

void QtHost::setBoxText(std::string_view name, const std::string& text)
{
    QLineEdit* edit = box(name);
    edit->setText(fromUtf8(text));
    // Show the start of a long number, as a freshly written box does.
    edit->setCursorPosition(0);
}

ModelTexts QtHost::modelTexts() const
{
    return modelWindow_ ? modelWindow_->texts() : model_;
}

void QtHost::setModelTexts(const ModelTexts& texts)
{
    if (modelWindow_)
        modelWindow_->setTexts(texts);
    else
        model_ = texts;
}

void QtHost::setModelWindow(ModelWindow* window)
{
    model_ = modelTexts();
    modelWindow_ = window;
    if (window)
        window->setTexts(model_);
}

char QtHost::decimalSeparator() const
{
    return decimalSeparatorOf(QLocale::system().decimalPoint());
}

void QtHost::showNotice(const std::string& message)
{
    showNoticeBox(window_, title_, fromUtf8(message));
}

void QtHost::showError(const std::string& message)
{
    showErrorBox(window_, title_, fromUtf8(messages::errorBoxText(message)));
}

void QtHost::runLongWork(std::string_view title, WorkShown shown, const std::function<void(const Progress&)>& work)
{
    longWork_.run(fromUtf8(std::string(title)), shown, work);
}

PixelSize QtHost::plotSize() const
{
    return {image_->width(), image_->height()};
}

std::unique_ptr<PlotPicture> QtHost::drawPlot(const PlotScene& scene, const Progress& progress) const
{
    // Drawn into a raster of its own, so that the window can go on
    // painting the old picture while this one is made on another thread.
    return drawPicture(scene, progress);
}

void QtHost::showPlot(std::unique_ptr<PlotPicture> picture)
{
    image_->raster() = std::move(static_cast<RasterPicture&>(*picture).raster);
    image_->update();
}

std::unique_ptr<QFileDialog> QtHost::makeOpenDialog(const std::string& initialDir, const std::string& fileName,
                                                    const QStringList& filters) const
{
    auto dialog = std::make_unique<OpenFileDialog>(window_);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    // A typed name of a missing file is accepted; opening it reports the error.
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilters(filters);
    if (!initialDir.empty())
        dialog->setDirectory(fromFileName(initialDir));
    const QString preset = fromFileName(fileName);
    dialog->selectFile(preset);
    if (isPattern(preset))
        dialog->listPattern(QFileInfo(preset).fileName());
    return dialog;
}

std::unique_ptr<QFileDialog> QtHost::makeOpenDialog(const std::string& initialDir, const std::string& fileName) const
{
    return makeOpenDialog(initialDir, fileName,
                          {QStringLiteral("*.ASC"), fromUtf8(std::string(messages::kSpectrumFilesFilter))});
}

std::unique_ptr<QFileDialog> QtHost::makeOpenParametersDialog(const std::string& initialDir,
                                                              const std::string& fileName) const
{
    return makeOpenDialog(initialDir, fileName, {fromUtf8(std::string(messages::kParameterFilesFilter))});
}

std::unique_ptr<QFileDialog> QtHost::makeSaveDialog(const std::string& initialDir, const std::string& fileName) const
{
    auto dialog = std::make_unique<QFileDialog>(window_);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    if (!initialDir.empty())
        dialog->setDirectory(fromFileName(initialDir));
    dialog->selectFile(fromFileName(fileName));
    return dialog;
}

std::unique_ptr<QFileDialog> QtHost::makeSaveParametersDialog(const std::string& initialDir,
                                                              const std::string& fileName) const
{
    auto dialog = makeSaveDialog(initialDir, fileName);
    dialog->setNameFilters({fromUtf8(std::string(messages::kParameterFilesFilter))});
    // A name typed without the extension gets it, so that the file is
    // listed when it is opened again.
    dialog->setDefaultSuffix(QStringLiteral("ravelle"));
    dialog->selectFile(fromFileName(fileName));
    return dialog;
}

std::unique_ptr<ColumnDialog> QtHost::makeColumnDialog(const ColumnChoice& choice) const
{
    return std::make_unique<ColumnDialog>(choice, title_, window_);
}

std::optional<std::string> QtHost::runDialog(QFileDialog& dialog) const
{
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return std::nullopt;
    return toFileName(chosen.front());
}

std::optional<std::string> QtHost::answerOrRun(DialogKind kind, const std::string& initialDir,
                                               const std::string& fileName,
                                               const std::function<std::unique_ptr<QFileDialog>()>& make)
{
    if (dialogAnswerer_)
        return dialogAnswerer_(kind, initialDir, fileName);
    return runDialog(*make());
}

std::optional<std::string> QtHost::runOpenDialog(const std::string& initialDir, const std::string& fileName)
{
    return answerOrRun(DialogKind::Open, initialDir, fileName, [&] { return makeOpenDialog(initialDir, fileName); });
}

std::optional<std::string> QtHost::runSaveDialog(const std::string& initialDir, const std::string& fileName)
{
    return answerOrRun(DialogKind::Save, initialDir, fileName, [&] { return makeSaveDialog(initialDir, fileName); });
}

std::optional<std::string> QtHost::runOpenParametersDialog(const std::string& initialDir, const std::string& fileName)
{
    return answerOrRun(DialogKind::OpenParameters, initialDir, fileName,
                       [&] { return makeOpenParametersDialog(initialDir, fileName); });
}

std::optional<std::string> QtHost::runSaveParametersDialog(const std::string& initialDir, const std::string& fileName)
{
    return answerOrRun(DialogKind::SaveParameters, initialDir, fileName,
                       [&] { return makeSaveParametersDialog(initialDir, fileName); });
}

std::optional<std::size_t> QtHost::chooseIntensityColumn(const ColumnChoice& choice)
{
    if (columnAnswerer_)
        return columnAnswerer_(choice);
    const std::unique_ptr<ColumnDialog> dialog = makeColumnDialog(choice);
    if (dialog->exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog->chosenColumn();
}

} // namespace ravelle
