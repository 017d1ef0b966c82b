#pragma once

// The button in Qt Designer: in the widget box under "Vettrix", created in
// design mode, with its design-time rules reaching Designer's form (modified
// mark, stored properties, the property editor's values).

#include <QObject>
#include <QPointer>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

class QDesignerFormEditorInterface;
class QDesignerFormWindowInterface;
class TorvelButtonWidget;

class TorvelButtonDesignerPlugin : public QObject, public QDesignerCustomWidgetInterface {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QDesignerCustomWidgetInterface")
  Q_INTERFACES(QDesignerCustomWidgetInterface)

 public:
  explicit TorvelButtonDesignerPlugin(QObject* parent = nullptr);

  QString name() const override;
  QString group() const override;
  QString toolTip() const override;
  QString whatsThis() const override;
  QString includeFile() const override;
  QIcon icon() const override;
  bool isContainer() const override;
  QString domXml() const override;
  // A button in design mode on a form Designer edits; anywhere else (a
  // preview, a form loader) one that runs.
  QWidget* createWidget(QWidget* parent) override;
  bool isInitialized() const override;
  void initialize(QDesignerFormEditorInterface* core) override;

 private:
  // The button's stored values are all saved with the form.
  void MarkStored(TorvelButtonWidget* button) const;
  // A stored value of `button` changed at design time: the form is modified
  // and saves it.
  void StoredValueChanged(TorvelButtonWidget* button, const QString& key);
  // Shows the button's values in the property editor again, once no message
  // box is open: refused values spring back, values the rules changed
  // appear.
  void ShowValues(QPointer<TorvelButtonWidget> button);

  bool initialized_ = false;
  QPointer<QDesignerFormEditorInterface> core_;
};
