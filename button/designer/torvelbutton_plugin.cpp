#include "torvelbutton_plugin.h"

#include <QApplication>
#include <QTimer>
#include <QtDesigner/QDesignerFormEditorInterface>
#include <QtDesigner/QDesignerFormWindowInterface>
#include <QtDesigner/QDesignerFormWindowManagerInterface>
#include <QtDesigner/QDesignerPropertyEditorInterface>
#include <QtDesigner/QDesignerPropertySheetExtension>
#include <QtDesigner/QExtensionManager>

#include "torvelbutton/torvelbuttonwidget.h"

TorvelButtonDesignerPlugin::TorvelButtonDesignerPlugin(QObject* parent) : QObject(parent) {}

QString TorvelButtonDesignerPlugin::name() const {
  return QStringLiteral("TorvelButtonWidget");
}

QString TorvelButtonDesignerPlugin::group() const {
  return QStringLiteral("Vettrix");
}

QString TorvelButtonDesignerPlugin::toolTip() const {
  return QStringLiteral("TorvelButton: an owner-drawn push button");
}

QString TorvelButtonDesignerPlugin::whatsThis() const {
  return QStringLiteral(
      "A push button with eight looks, colour schemes, engraved, embossed or shadowed "
      "captions, icons, option groups and shaped outlines.");
}

QString TorvelButtonDesignerPlugin::includeFile() const {
  return QStringLiteral("torvelbutton/torvelbuttonwidget.h");
}

QIcon TorvelButtonDesignerPlugin::icon() const {
  return QIcon(QStringLiteral(":/torvelbutton/designer/torvelbutton.png"));
}

bool TorvelButtonDesignerPlugin::isContainer() const {
  return false;
}

QString TorvelButtonDesignerPlugin::domXml() const {
  return QStringLiteral(
      "<ui language=\"c++\">\n"
      " <widget class=\"TorvelButtonWidget\" name=\"torvelButton\">\n"
      "  <property name=\"geometry\">\n"
      "   <rect><x>0</x><y>0</y><width>89</width><height>25</height></rect>\n"
      "  </property>\n"
      " </widget>\n"
      "</ui>\n");
}

QWidget* TorvelButtonDesignerPlugin::createWidget(QWidget* parent) {
  auto* button = new TorvelButtonWidget(parent);
  // Designer also makes widgets outside its forms (previews run the form,
  // form loaders use the same plugin): those are buttons of a running form.
  if (!initialized_ || parent == nullptr ||
      QDesignerFormWindowInterface::findFormWindow(parent) == nullptr) {
    return button;
  }
  button->setDesignMode(true);
  QPointer<TorvelButtonWidget> guarded(button);
  connect(button, &TorvelButtonWidget::storedPropertyChanged, this,
          [this, guarded](const QString& key) {
            if (guarded) StoredValueChanged(guarded, key);
          });
  return button;
}

bool TorvelButtonDesignerPlugin::isInitialized() const {
  return initialized_;
}

void TorvelButtonDesignerPlugin::initialize(QDesignerFormEditorInterface* core) {
  if (initialized_) return;
  initialized_ = true;
  core_ = core;
  if (core == nullptr) return;
  // Every stored value goes into the form file, not only those edited.
  if (QDesignerFormWindowManagerInterface* forms = core->formWindowManager()) {
    connect(forms, &QDesignerFormWindowManagerInterface::formWindowAdded, this,
            [this](QDesignerFormWindowInterface* form) {
              connect(form, &QDesignerFormWindowInterface::widgetManaged, this, [this](QWidget* w) {
                if (auto* b = qobject_cast<TorvelButtonWidget*>(w)) MarkStored(b);
              });
            });
  }
  if (QDesignerPropertyEditorInterface* editor = core->propertyEditor()) {
    connect(editor, &QDesignerPropertyEditorInterface::propertyChanged, this,
            [this, editor](const QString&, const QVariant&) {
              if (auto* b = qobject_cast<TorvelButtonWidget*>(editor->object())) ShowValues(b);
            });
  }
}

void TorvelButtonDesignerPlugin::MarkStored(TorvelButtonWidget* button) const {
  if (!core_) return;
  auto* sheet = qt_extension<QDesignerPropertySheetExtension*>(core_->extensionManager(), button);
  if (sheet == nullptr) return;
  for (const QByteArray& property : TorvelButtonWidget::storedPropertyNames()) {
    const int index = sheet->indexOf(QString::fromLatin1(property));
    if (index >= 0) sheet->setChanged(index, true);
  }
}

void TorvelButtonDesignerPlugin::StoredValueChanged(TorvelButtonWidget* button,
                                                    const QString& key) {
  if (QDesignerFormWindowInterface* form = QDesignerFormWindowInterface::findFormWindow(button)) {
    form->setDirty(true);
  }
  if (core_) {
    auto* sheet = qt_extension<QDesignerPropertySheetExtension*>(core_->extensionManager(), button);
    const QByteArray property = TorvelButtonWidget::propertyOfStoredKey(key);
    if (sheet != nullptr && !property.isEmpty()) {
      const int index = sheet->indexOf(QString::fromLatin1(property));
      if (index >= 0) sheet->setChanged(index, true);
    }
  }
  ShowValues(button);
}

void TorvelButtonDesignerPlugin::ShowValues(QPointer<TorvelButtonWidget> button) {
  // A message box of the rules may still be open, inside the assignment the
  // editor made: its values are known once the box is closed.
  QTimer::singleShot(QApplication::activeModalWidget() != nullptr ? 50 : 0, this, [this, button] {
    if (!button || !core_) return;
    if (QApplication::activeModalWidget() != nullptr) {
      ShowValues(button);
      return;
    }
    QDesignerPropertyEditorInterface* editor = core_->propertyEditor();
    if (editor == nullptr || editor->object() != button) return;
    auto* sheet =
        qt_extension<QDesignerPropertySheetExtension*>(core_->extensionManager(), button.data());
    for (const QByteArray& property : TorvelButtonWidget::storedPropertyNames()) {
      const QString name = QString::fromLatin1(property);
      const int index = sheet != nullptr ? sheet->indexOf(name) : -1;
      if (index < 0) continue;
      editor->setPropertyValue(name, sheet->property(index), sheet->isChanged(index));
    }
  });
}
