#pragma once

#include <QFileDialog>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "commands/CommandHost.h"
#include "ui/ColumnDialog.h"
#include "ui/LongWork.h"

class QLineEdit;

namespace ravelle {

class ModelWindow;
class RasterImage;

// The main window's side of the commands: its boxes, its plot, its message
// boxes and its file dialogs.
class QtHost : public CommandHost {
public:
    enum class DialogKind { Open, Save, OpenParameters, SaveParameters };
    // Answers a file dialog in place of the user (tests, scripted runs).
    using DialogAnswerer = std::function<std::optional<std::string>(
        DialogKind kind, const std::string& initialDir, const std::string& fileName)>;
    // Answers the column dialog in place of the user.
    using ColumnAnswerer = std::function<std::optional<std::size_t>(const ColumnChoice& choice)>;

    // `boxes` maps every box name to its edit box; `window` parents the
    // dialogs and message boxes; `title` is their caption.
    QtHost(QWidget* window, std::map<std::string, QLineEdit*, std::less<>> boxes, RasterImage* image, QString title);

    std::string boxText(std::string_view box) const override;
    void setBoxText(std::string_view box, const std::string& text) override;
    ModelTexts modelTexts() const override;
    void setModelTexts(const ModelTexts& texts) override;
    char decimalSeparator() const override;
    void showNotice(const std::string& message) override;
    void showError(const std::string& message) override;
    void runLongWork(std::string_view title, WorkShown shown,
                     const std::function<void(const Progress&)>& work) override;
    PixelSize plotSize() const override;
    std::unique_ptr<PlotPicture> drawPlot(const PlotScene& scene, const Progress& progress) const override;
    void showPlot(std::unique_ptr<PlotPicture> picture) override;

    // The runner of long work: whether work runs, its progress window.
    LongWorkRunner& longWork() { return longWork_; }
    bool working() const { return longWork_.running(); }
    std::optional<std::string> runOpenDialog(const std::string& initialDir, const std::string& fileName) override;
    std::optional<std::string> runSaveDialog(const std::string& initialDir, const std::string& fileName) override;
    std::optional<std::string> runOpenParametersDialog(const std::string& initialDir,
                                                       const std::string& fileName) override;
    std::optional<std::string> runSaveParametersDialog(const std::string& initialDir,
                                                       const std::string& fileName) override;
    std::optional<std::size_t> chooseIntensityColumn(const ColumnChoice& choice) override;

    void setDialogAnswerer(DialogAnswerer answerer) { dialogAnswerer_ = std::move(answerer); }
    void setColumnAnswerer(ColumnAnswerer answerer) { columnAnswerer_ = std::move(answerer); }

    // From now on the Model window holds the model's texts: it shows what
    // the host has held so far, and the commands read and write it.
    void setModelWindow(ModelWindow* window);

    // The dialogs as they are run, ready for exec(); exposed for tests. The
    // open dialog lists "*.ASC" and every kind of spectrum the import reads;
    // the parameter sets' dialogs list their own type.
    std::unique_ptr<QFileDialog> makeOpenDialog(const std::string& initialDir, const std::string& fileName) const;
    std::unique_ptr<QFileDialog> makeSaveDialog(const std::string& initialDir, const std::string& fileName) const;
    std::unique_ptr<QFileDialog> makeOpenParametersDialog(const std::string& initialDir,
                                                          const std::string& fileName) const;
    std::unique_ptr<QFileDialog> makeSaveParametersDialog(const std::string& initialDir,
                                                          const std::string& fileName) const;
    std::unique_ptr<ColumnDialog> makeColumnDialog(const ColumnChoice& choice) const;

    const QString& title() const { return title_; }

private:
    QLineEdit* box(std::string_view name) const;
    std::unique_ptr<QFileDialog> makeOpenDialog(const std::string& initialDir, const std::string& fileName,
                                                const QStringList& filters) const;
    std::optional<std::string> runDialog(QFileDialog& dialog) const;
    std::optional<std::string> answerOrRun(DialogKind kind, const std::string& initialDir, const std::string& fileName,
                                           const std::function<std::unique_ptr<QFileDialog>()>& make);

    QWidget* window_;
    std::map<std::string, QLineEdit*, std::less<>> boxes_;
    RasterImage* image_;
    QString title_;
    DialogAnswerer dialogAnswerer_;
    ColumnAnswerer columnAnswerer_;
    LongWorkRunner longWork_;
    // The Model window's content until a window of its own shows it.
    ModelTexts model_;
    ModelWindow* modelWindow_ = nullptr;
};

// The system's decimal separator as one character; "." where the system's
// is not a single ASCII character.
char decimalSeparatorOf(const QString& decimalPoint);

} // namespace ravelle
