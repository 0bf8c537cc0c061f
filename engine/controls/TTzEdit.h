// Data-aware text box bound to one field of a table component through a
// TTzFieldDataLink (see there for the protocol). TTzText and TTzCheckBox are
// its siblings, TTzNavigator moves through the records.
//
// Use: create the control, then setDataSource(table) and setDataField("name")
// in any order (either may change at run time). The controls write into the
// record buffer only; window code posts the record.
#pragma once

#include "engine/controls/TTzFieldDataLink.h"

#include <QLabel>
#include <QLineEdit>

#include <functional>

namespace qb::engine {

enum class TTzCaptionPosType { cpLeft, cpRight, cpTopLeft, cpTopRight, cpBottomLeft, cpBottomRight, cpDetached };
// The first value is the plain text box every window uses; dBaseStyle only
// records that a date or number field chose its own mask.
enum class TTzMaskStyle { msFramework, dBaseStyle };

// Asked before the focus leaves a TTzEdit; set okToExit false to keep it.
using TTzValidateBeforeExitEvent = std::function<void(QObject* sender, const QString& editText, bool& okToExit)>;

// Text box. Read-only unless the dataset is editing; a key that would change
// the text first asks the link for edit state (so typing starts editing the
// record). Escape restores the stored value. Leaving the box writes the text
// into the record buffer; when that fails the text is selected and the focus
// comes back.
class TTzEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TTzEdit(QWidget* parent = nullptr);

    TTzDataSource* dataSource() const { return m_link.dataSource(); }
    void setDataSource(TTzDataSource* source) { m_link.setDataSource(source); }
    QString dataField() const { return QString::fromStdString(m_link.dataField()); }
    void setDataField(const QString& name) { m_link.setDataField(name.toStdString()); }
    // The control's own read-only switch (the dataset state still decides).
    bool linkReadOnly() const { return m_link.readOnly(); }
    void setLinkReadOnly(bool on) { m_link.setReadOnly(on); }
    TTzFieldDataLink& link() { return m_link; }

    TTzMaskStyle editMaskStyle() const { return m_maskStyle; }
    // The mask chosen for the bound field when no explicit mask is set.
    QString editMask() const { return m_mask; }

    // Caption label placed beside the box in the same parent.
    void setCaption(const QString& text);
    QString caption() const;
    void setCaptionPos(TTzCaptionPosType pos);
    TTzCaptionPosType captionPos() const { return m_captionPos; }

    TTzValidateBeforeExitEvent onValidateBeforeExit;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void showField();
    void placeCaption();

    TTzFieldDataLink m_link;
    TTzMaskStyle m_maskStyle = TTzMaskStyle::msFramework;
    QString m_mask;
    QLabel* m_caption = nullptr;
    TTzCaptionPosType m_captionPos = TTzCaptionPosType::cpLeft;
};

} // namespace qb::engine
