#pragma once

/// @file
/// TorvelButtonWidget, the owner-drawn push button as a Qt widget.

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <memory>

#include "torvelbutton/torvelbutton_global.h"

class TorvelButtonWidgetPrivate;

/// The arguments of a key event. They are passed by reference: a slot may
/// change them, and the button reads them back when the slot returns.
struct TorvelButtonKeyArgs {
  /// Virtual-key code of the key (keyDown and keyUp), for example 32 for
  /// Space, 13 for Enter, 65 for A.
  int keyCode = 0;
  /// Character code the key typed (keyPress), for example 97 for "a".
  int keyAscii = 0;
  /// Modifier keys held: 1 Shift, 2 Ctrl, 4 Alt, added up.
  int shift = 0;
};

/// An owner-drawn push button with eight looks, five colour schemes, plain,
/// engraved, embossed or shadowed captions, vertical and word-wrapped
/// captions with access keys, icons, option-button behaviour, hover tracking
/// and shaped outlines, drawn pixel by pixel.
///
/// Properties set before the button is first shown are its stored settings,
/// taken as they are (as a form file or a saved property set gives them).
/// After that, every assignment follows the button's rules: at run time
/// some properties (the look, the colour scheme, the alignment, ...) can no
/// longer change and such assignments are ignored, exactly as for the
/// button in a running form; in a designer (designMode() true) assignments
/// are checked, may show a message, and announce the stored values they
/// change with storedPropertyChanged().
///
/// @code
/// auto* ok = new TorvelButtonWidget(QStringLiteral("&OK"), window);
/// ok->setButtonType(TorvelButtonWidget::WindowsXP);
/// QObject::connect(ok, &TorvelButtonWidget::clicked, window, &QWidget::close);
/// @endcode
class TORVELBUTTON_EXPORT TorvelButtonWidget : public QWidget {
  Q_OBJECT

  Q_PROPERTY(CaptionAlignmentValue alignment READ alignment WRITE setAlignment)
  Q_PROPERTY(bool showFocus READ showFocus WRITE setShowFocus)
  Q_PROPERTY(int graphicsMode READ graphicsMode WRITE setGraphicsMode)
  Q_PROPERTY(bool value READ value WRITE setValue)
  Q_PROPERTY(bool optionButton READ optionButton WRITE setOptionButton)
  Q_PROPERTY(IconSide iconAlignmentValue READ iconAlignmentValue WRITE setIconAlignmentValue)
  Q_PROPERTY(QColor embossEngraveShadow READ embossEngraveShadow WRITE setEmbossEngraveShadow)
  Q_PROPERTY(QColor embossEngraveMid READ embossEngraveMid WRITE setEmbossEngraveMid)
  Q_PROPERTY(QColor gradientStartColor READ gradientStartColor WRITE setGradientStartColor)
  Q_PROPERTY(GradientOrientationValue gradientOrientation READ gradientOrientation WRITE
                 setGradientOrientation)
  Q_PROPERTY(QColor gradientStopColor READ gradientStopColor WRITE setGradientStopColor)
  Q_PROPERTY(QColor backColor READ backColor WRITE setBackColor)
  Q_PROPERTY(QColor foreColor READ foreColor WRITE setForeColor)
  Q_PROPERTY(QColor mouseOverColor READ mouseOverColor WRITE setMouseOverColor)
  Q_PROPERTY(QPixmap icon READ icon WRITE setIcon)
  Q_PROPERTY(ButtonTypeValue buttonType READ buttonType WRITE setButtonType)
  Q_PROPERTY(QString caption READ caption WRITE setCaption)
  Q_PROPERTY(IconSizeValue iconSize READ iconSize WRITE setIconSize)
  Q_PROPERTY(CaptionStyleValue captionStyle READ captionStyle WRITE setCaptionStyle)
  Q_PROPERTY(QFont font READ font WRITE setFont)
  Q_PROPERTY(ColorSchemeValue colorScheme READ colorScheme WRITE setColorScheme)
  Q_PROPERTY(ButtonStyleValue buttonStyle READ buttonStyle WRITE setButtonStyle)
  Q_PROPERTY(CaptionOrientationValue captionOrientation READ captionOrientation WRITE
                 setCaptionOrientation)
  Q_PROPERTY(MousePointerValue mousePointer READ mousePointer WRITE setMousePointer)
  Q_PROPERTY(QPixmap mouseIcon READ mouseIcon WRITE setMouseIcon)
  Q_PROPERTY(CaptionSmoothingValue captionSmoothing READ captionSmoothing WRITE setCaptionSmoothing)
  Q_PROPERTY(QString container READ container STORED false)
  Q_PROPERTY(PixelScalingValue pixelScaling READ pixelScaling WRITE setPixelScaling)

 public:
  // Every enumeration has a fixed underlying type: stored sets and form
  // files may hold values outside the names, which the button keeps.

  /// The look of the button.
  enum ButtonTypeValue : int {
    OutlinedBevel = 1,  ///< A flat face with an outlined bevel.
    Classic3D = 2,      ///< The classic raised three-dimensional button.
    WindowsXP = 3,      ///< Rounded corners and a shaded face.
    Etched = 4,         ///< An etched frame.
    SoftBevel = 5,      ///< A soft, wide bevel.
    ThinBevel = 6,      ///< A thin bevel.
    HoverBevel = 7,     ///< Flat until the pointer is over it, then a thin bevel.
    Macintosh = 8,      ///< Rounded, with a dark outline.
  };
  Q_ENUM(ButtonTypeValue)

  /// Where the button's colours come from.
  enum ColorSchemeValue : int {
    SystemColors = 1,    ///< The desktop's colours.
    CustomColors = 2,    ///< backColor, foreColor and mouseOverColor.
    FixedGrey = 3,       ///< A fixed grey palette.
    ParentColors = 4,    ///< The background and text colours of the parent.
    CustomGradient = 5,  ///< As CustomColors, on a gradient background.
  };
  Q_ENUM(ColorSchemeValue)

  /// Alignment of the caption.
  enum CaptionAlignmentValue : int {
    AlignLeft = 0,    ///< Left aligned.
    AlignCenter = 1,  ///< Centred.
    AlignRight = 2,   ///< Right aligned.
  };
  Q_ENUM(CaptionAlignmentValue)

  /// Side of the caption the icon sits on.
  enum IconSide : int {
    IconLeft = 0,   ///< At the left edge of the caption.
    IconRight = 1,  ///< At the right edge of the caption.
  };
  Q_ENUM(IconSide)

  /// Direction of the caption text.
  enum CaptionOrientationValue : int {
    Horizontal = 0,    ///< Left to right.
    VerticalUp = 1,    ///< Turned 90 degrees, read from bottom to top.
    VerticalDown = 2,  ///< Turned 270 degrees, read from top to bottom.
  };
  Q_ENUM(CaptionOrientationValue)

  /// How the caption's text is smoothed.
  enum CaptionSmoothingValue : int {
    Standard = 0,  ///< As the font asks for each size: plain at small sizes, grey above.
    Off = 1,       ///< Plain black and white at every size.
    Full = 2,      ///< Grey edges at every size, for dense modern screens.
  };
  Q_ENUM(CaptionSmoothingValue)

  /// How the caption is drawn. All but Plain need a custom colour scheme.
  enum CaptionStyleValue : int {
    Plain = 0,     ///< In the text colour only.
    Engraved = 1,  ///< Cut into the face.
    Embossed = 2,  ///< Raised from the face.
    Shadowed = 3,  ///< With a shadow.
  };
  Q_ENUM(CaptionStyleValue)

  /// Outline of the button.
  enum ButtonStyleValue : int {
    Rectangular = 0,    ///< A plain rectangle.
    LeftSegment = 1,    ///< Right edge slanted: the first of a row of segments.
    MiddleSegment = 2,  ///< Both edges slanted.
    RightSegment = 3,   ///< Left edge slanted: the last of a row.
  };
  Q_ENUM(ButtonStyleValue)

  /// Direction of the gradient background of the CustomGradient scheme.
  enum GradientOrientationValue : int {
    GradientHorizontal = 0,          ///< From left to right.
    GradientVertical = 1,            ///< From top to bottom.
    GradientHorizontalReversed = 2,  ///< From right to left.
    GradientVerticalReversed = 3,    ///< From bottom to top.
  };
  Q_ENUM(GradientOrientationValue)

  /// Edge of the icon: the value times 8 pixels.
  enum IconSizeValue : int {
    Icon8 = 1,   ///< 8 by 8 pixels.
    Icon16 = 2,  ///< 16 by 16 pixels.
    Icon24 = 3,  ///< 24 by 24 pixels.
    Icon32 = 4,  ///< 32 by 32 pixels.
  };
  Q_ENUM(IconSizeValue)

  /// The mouse pointer shown over the button.
  enum MousePointerValue : int {
    DefaultPointer = 0,          ///< The parent's pointer.
    ArrowPointer = 1,            ///< An arrow.
    CrossPointer = 2,            ///< A cross.
    IBeamPointer = 3,            ///< A text cursor.
    IconPointer = 4,             ///< An icon (shown as an arrow).
    SizePointer = 5,             ///< Four arrows.
    SizeNESWPointer = 6,         ///< A diagonal double arrow, north-east to south-west.
    SizeNSPointer = 7,           ///< A vertical double arrow.
    SizeNWSEPointer = 8,         ///< A diagonal double arrow, north-west to south-east.
    SizeWEPointer = 9,           ///< A horizontal double arrow.
    UpArrowPointer = 10,         ///< An upward arrow.
    HourglassPointer = 11,       ///< Busy.
    NoDropPointer = 12,          ///< Forbidden.
    ArrowHourglassPointer = 13,  ///< An arrow, busy in the background.
    ArrowQuestionPointer = 14,   ///< An arrow with a question mark.
    SizeAllPointer = 15,         ///< Four arrows.
    CustomPointer = 99,          ///< The picture of mouseIcon.
  };
  Q_ENUM(MousePointerValue)

  /// How the button is drawn on a screen with more than one device pixel to
  /// the pixel (a device pixel ratio above 1).
  enum PixelScalingValue : int {
    /// For the device: frames, bevels, focus mark, icon and outline as the
    /// button's pixels made k times as large at a whole ratio k, the caption
    /// written at the device's resolution. A fractional ratio is drawn for
    /// the next whole ratio and scaled down smoothly.
    Device = 0,
    /// The button's pixels enlarged as they are, the caption included.
    Doubled = 1,
  };
  Q_ENUM(PixelScalingValue)

  /// The desktop's colours by their index in the system colour table.
  /// systemColor() turns one into a colour the colour properties take as a
  /// reference to that system colour.
  enum SystemColor : int {
    ScrollBar = 0,             ///< Scroll bar background.
    Desktop = 1,               ///< Desktop background.
    ActiveCaption = 2,         ///< Title bar of the active window.
    InactiveCaption = 3,       ///< Title bar of an inactive window.
    Menu = 4,                  ///< Menu background.
    WindowBackground = 5,      ///< Window background.
    WindowFrame = 6,           ///< Window frame.
    MenuText = 7,              ///< Menu text.
    WindowText = 8,            ///< Window text.
    CaptionText = 9,           ///< Title bar text.
    ActiveBorder = 10,         ///< Border of the active window.
    InactiveBorder = 11,       ///< Border of an inactive window.
    AppWorkspace = 12,         ///< Background of multiple-document windows.
    Highlight = 13,            ///< Selected items.
    HighlightText = 14,        ///< Text of selected items.
    ButtonFace = 15,           ///< Face of buttons.
    ButtonShadow = 16,         ///< Shadow of buttons.
    GrayText = 17,             ///< Disabled text.
    ButtonText = 18,           ///< Text of buttons.
    InactiveCaptionText = 19,  ///< Title bar text of an inactive window.
    ButtonHighlight = 20,      ///< Highlight of buttons.
    ButtonDarkShadow = 21,     ///< Dark shadow of three-dimensional elements.
    ButtonLight = 22,          ///< Light side of three-dimensional elements.
    InfoText = 23,             ///< Tooltip text.
    InfoBackground = 24,       ///< Tooltip background.
  };
  Q_ENUM(SystemColor)

  /// A new button, named by its object name until a caption is set.
  explicit TorvelButtonWidget(QWidget* parent = nullptr);
  /// A new button with `caption` ("&" marks the access key).
  explicit TorvelButtonWidget(const QString& caption, QWidget* parent = nullptr);
  ~TorvelButtonWidget() override;

  /// Alignment of the caption within the button; fixed at run time.
  CaptionAlignmentValue alignment() const;
  /// Sets the alignment; see alignment().
  void setAlignment(CaptionAlignmentValue alignment);
  /// Whether the focused button shows a focus mark; fixed at run time.
  bool showFocus() const;
  /// Sets whether the focused button shows a focus mark.
  void setShowFocus(bool show);
  /// The graphics mode asked for: negative for automatic (the default), or
  /// the mode of 0 or more that was set. A form file keeps this value.
  int graphicsMode() const;
  /// Asks for a graphics mode; a negative value means automatic. A mode of
  /// 0 or more shows a caution message.
  void setGraphicsMode(int mode);
  /// The graphics mode in force for captions: the platform's automatic one
  /// unless a mode of 0 or more was asked for.
  int graphicsModeInForce() const;
  /// Whether an option button is the selected one of its group.
  bool value() const;
  /// Selects (true) or clears an option button; selecting it clears the
  /// other option buttons of its parent widget.
  void setValue(bool value);
  /// Whether the button acts as an option button.
  bool optionButton() const;
  /// Makes the button act as an option button (true) or a command button.
  void setOptionButton(bool option);
  /// Side of the caption the icon sits on; fixed at run time.
  IconSide iconAlignmentValue() const;
  /// Sets the icon's side.
  void setIconAlignmentValue(IconSide side);
  /// Shadow colour of embossed, engraved and shadowed captions.
  QColor embossEngraveShadow() const;
  /// Sets the caption shadow colour (custom colour schemes).
  void setEmbossEngraveShadow(const QColor& color);
  /// Middle colour of embossed and engraved captions.
  QColor embossEngraveMid() const;
  /// Sets the caption middle colour (custom colour schemes).
  void setEmbossEngraveMid(const QColor& color);
  /// First colour of the gradient background.
  QColor gradientStartColor() const;
  /// Sets the gradient's first colour (the CustomGradient scheme).
  void setGradientStartColor(const QColor& color);
  /// Direction of the gradient. Any value is kept, also outside the names.
  GradientOrientationValue gradientOrientation() const;
  /// Sets the gradient's direction.
  void setGradientOrientation(GradientOrientationValue orientation);
  /// Last colour of the gradient background.
  QColor gradientStopColor() const;
  /// Sets the gradient's last colour (the CustomGradient scheme).
  void setGradientStopColor(const QColor& color);
  /// Face colour of the custom colour schemes.
  QColor backColor() const;
  /// Sets the face colour (custom colour schemes).
  void setBackColor(const QColor& color);
  /// Caption colour of the custom colour schemes.
  QColor foreColor() const;
  /// Sets the caption colour (custom colour schemes).
  void setForeColor(const QColor& color);
  /// Caption colour while the pointer is over the button.
  QColor mouseOverColor() const;
  /// Sets the hover caption colour (custom colour schemes).
  void setMouseOverColor(const QColor& color);
  /// The button's icon; a null pixmap when it has none.
  QPixmap icon() const;
  /// Sets the icon; a null pixmap removes it. Transparent pixels stay
  /// transparent.
  void setIcon(const QPixmap& icon);
  /// The look of the button; fixed at run time.
  ButtonTypeValue buttonType() const;
  /// Sets the look.
  void setButtonType(ButtonTypeValue type);
  /// The caption; "&" marks the access key, "&&" stands for "&".
  QString caption() const;
  /// Sets the caption.
  void setCaption(const QString& caption);
  /// Size of the icon; fixed at run time.
  IconSizeValue iconSize() const;
  /// Sets the icon size.
  void setIconSize(IconSizeValue size);
  /// How the caption is drawn.
  CaptionStyleValue captionStyle() const;
  /// Sets the caption style (custom colour schemes).
  void setCaptionStyle(CaptionStyleValue style);
  /// The caption font, which is also QWidget's font. Until a font is set,
  /// it is the font Qt hands down (the parent's, the application's), and
  /// follows it.
  QFont font() const;
  /// Sets the caption font, as QWidget::setFont (through any pointer) and a
  /// style sheet's font do; from then on the button keeps it.
  void setFont(const QFont& font);
  /// Where the colours come from; fixed at run time.
  ColorSchemeValue colorScheme() const;
  /// Sets the colour scheme.
  void setColorScheme(ColorSchemeValue scheme);
  /// Outline of the button; fixed at run time.
  ButtonStyleValue buttonStyle() const;
  /// Sets the outline. A segmented outline makes the caption horizontal.
  void setButtonStyle(ButtonStyleValue style);
  /// Direction of the caption; fixed at run time.
  CaptionOrientationValue captionOrientation() const;
  /// Sets the caption's direction.
  void setCaptionOrientation(CaptionOrientationValue orientation);
  /// How the caption's text is smoothed.
  CaptionSmoothingValue captionSmoothing() const;
  /// Sets how the caption's text is smoothed.
  void setCaptionSmoothing(CaptionSmoothingValue smoothing);
  /// The mouse pointer shown over the button.
  MousePointerValue mousePointer() const;
  /// Sets the mouse pointer.
  void setMousePointer(MousePointerValue pointer);
  /// The picture of the CustomPointer mouse pointer.
  QPixmap mouseIcon() const;
  /// Sets the picture of the CustomPointer mouse pointer.
  void setMouseIcon(const QPixmap& icon);
  /// How the button is drawn on a high-density screen; Device by default.
  PixelScalingValue pixelScaling() const;
  /// Sets how the button is drawn on a high-density screen, and redraws it.
  void setPixelScaling(PixelScalingValue scaling);
  /// The name of the parent widget the button's option group belongs to,
  /// with "(index)" where several parents share a name.
  QString container() const;

  /// The button's whole stored property set as a JSON object: lower-case
  /// keys ("btype", "tx", "font", ...) to numbers, booleans, texts, a font
  /// object, and pictures as file names or PNG data addresses.
  QByteArray storedProperties() const;
  /// Restores the button from a JSON object of storedProperties()'s form,
  /// without the checks of the assignments; absent keys take their
  /// defaults. Returns false and leaves the button as it was when a value
  /// cannot be read; `error`, when given, then tells why.
  bool setStoredProperties(const QByteArray& json, QString* error = nullptr);

  /// The names of the properties that hold the stored property set, in the
  /// order the button writes its keys.
  static QList<QByteArray> storedPropertyNames();
  /// The property that holds the stored key `key` ("btype", any case), or
  /// an empty name when `key` is not one of the stored keys.
  static QByteArray propertyOfStoredKey(const QString& key);

  /// True while the button is being designed: assignments then follow the
  /// design-time rules and announce the stored values they change.
  bool designMode() const;
  /// Puts the button in a designer (true) or in a running program (false).
  void setDesignMode(bool design);

  /// A colour that the colour properties take as a reference to the
  /// desktop's colour `index`; they keep the colour it stands for when
  /// assigned, as the button keeps every colour.
  static QColor systemColor(SystemColor index);

  /// The version of the library the program runs with, "major.minor.patch"
  /// (TORVELBUTTON_VERSION_STRING is the one it was built with).
  static QString libraryVersion();

  /// The size that shows the whole caption on one line, with the icon.
  QSize sizeHint() const override;
  /// The size hint again: as for a push button, the caption is not meant
  /// to be cut.
  QSize minimumSizeHint() const override;

 public slots:
  /// Redraws the button.
  void refreshButton();
  /// Clicks the button as a user does: press, release and click. Does
  /// nothing while it is disabled.
  void click();

 signals:
  /// The button was clicked: by the mouse, Space, its access key, or as an
  /// option button becoming selected.
  void clicked();
  /// The button got a double click (its second click raises no clicked()).
  void doubleClicked();
  /// A mouse button went down over the button. `button`: 1 left, 2 right,
  /// 4 middle; `shift`: 1 Shift, 2 Ctrl, 4 Alt; `x`, `y` in pixels.
  void mouseDown(int button, int shift, float x, float y);
  /// The pointer moved over the button; `button` is the mask of held
  /// buttons.
  void mouseMove(int button, int shift, float x, float y);
  /// A mouse button went up.
  void mouseUp(int button, int shift, float x, float y);
  /// A key went down (keyCode, shift); the button reads `key` back.
  void keyDown(TorvelButtonKeyArgs* key);
  /// A key typed a character (keyAscii); the button reads `key` back.
  void keyPress(TorvelButtonKeyArgs* key);
  /// A key went up (keyCode, shift); the button reads `key` back.
  void keyUp(TorvelButtonKeyArgs* key);
  /// The pointer came over the button.
  void mouseOver();
  /// The pointer left the button.
  void mouseOut();
  /// In a designer, a stored value changed; `key` is its stored key
  /// ("BTYPE", "COLTYPE", ...).
  void storedPropertyChanged(const QString& key);

 protected:
  /// @cond INTERNAL
  struct Placement;
  TorvelButtonWidget(const Placement& placement, QWidget* parent);
  TorvelButtonWidgetPrivate& d() const { return *d_; }
  /// @endcond

  /// Shows the button's drawing surface pixel for pixel.
  void paintEvent(QPaintEvent* event) override;
  /// Reshapes the outline, lays the caption out again and redraws.
  void resizeEvent(QResizeEvent* event) override;
  /// The first showing ends the stored settings and draws the button.
  void showEvent(QShowEvent* event) override;
  /// Follows the parent's font and colours and the enabled state.
  void changeEvent(QEvent* event) override;
  /// A mouse button went down: the pressed look, mouseDown().
  void mousePressEvent(QMouseEvent* event) override;
  /// A mouse button went up: mouseUp(), and clicked() for a click.
  void mouseReleaseEvent(QMouseEvent* event) override;
  /// The second press of a double click: doubleClicked().
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  /// The pointer moved: the hover look, mouseOver() and mouseMove().
  void mouseMoveEvent(QMouseEvent* event) override;
  /// A key went down: keyDown() and keyPress(), Space presses the button.
  void keyPressEvent(QKeyEvent* event) override;
  /// A key went up: keyUp(), Space clicks the button.
  void keyReleaseEvent(QKeyEvent* event) override;
  /// The button got the keyboard focus.
  void focusInEvent(QFocusEvent* event) override;
  /// The button lost the keyboard focus.
  void focusOutEvent(QFocusEvent* event) override;

 private:
  friend class TorvelButtonWidgetPrivate;
  std::unique_ptr<TorvelButtonWidgetPrivate> d_;
};
