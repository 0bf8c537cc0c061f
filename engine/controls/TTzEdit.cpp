#include "TTzEdit.h"

#include <QKeyEvent>

namespace qb::engine {



TTzEdit::TTzEdit(QWidget* parent) : QLineEdit(parent)
{
    setReadOnly(true);
    m_link.control = this;
    m_link.onDataChange = [this] { showField(); };
    m_link.onEditingChange = [this] { setReadOnly(!(m_link.editing() && m_link.canModify())); };
    m_link.onUpdateData = [this] { m_link.setFieldText(text().toStdString()); };
    m_link.onActiveChange = [this] { setReadOnly(!(m_link.editing() && m_link.canModify())); };
    connect(this, &QLineEdit::textEdited, this, [this] { m_link.modified(); });
}

void TTzEdit::showField()
{
    const TTzField* f = m_link.field();
    if (!f) {
        setMaxLength(32767);
        m_mask.clear();
        m_maskStyle = TTzMaskStyle::msFramework;
        setText(QString());
        return;
    }
    setMaxLength(m_link.displayWidth());
    m_maskStyle = TTzMaskStyle::msFramework;
    m_mask.clear();
    if (f->type == 'D') {
        m_maskStyle = TTzMaskStyle::dBaseStyle;
        m_mask = QStringLiteral("@D99/99/9999;1; ");
    } else if (f->type == 'N' || f->type == 'F') {
        m_maskStyle = TTzMaskStyle::dBaseStyle;
        m_mask = QString(f->length, QLatin1Char('#')) + QStringLiteral(";1; ");
    }
    setText(QString::fromStdString(m_link.fieldText()));
}

void TTzEdit::keyPressEvent(QKeyEvent* e)
{
    const int key = e->key();
    const auto mods = e->modifiers();
    if (key == Qt::Key_Escape) {
        if (m_link.field()) {
            m_link.reset();
            selectAll();
            e->accept();
            return;
        }
        QLineEdit::keyPressEvent(e);
        return;
    }
    const bool changes = key == Qt::Key_Delete || key == Qt::Key_Backspace ||
                         (key == Qt::Key_Insert && (mods & Qt::ShiftModifier)) ||
                         ((key == Qt::Key_V || key == Qt::Key_X) && (mods & Qt::ControlModifier)) ||
                         (!e->text().isEmpty() && e->text().at(0).isPrint() && !(mods & Qt::ControlModifier));
    if (changes && m_link.field()) {
        m_link.edit();
        setReadOnly(!(m_link.editing() && m_link.canModify()));
    }
    QLineEdit::keyPressEvent(e);
}

void TTzEdit::focusOutEvent(QFocusEvent* e)
{
    bool ok = true;
    if (onValidateBeforeExit)
        onValidateBeforeExit(this, text(), ok);
    if (ok)
        ok = m_link.updateRecord();
    QLineEdit::focusOutEvent(e);
    if (!ok) {
        selectAll();
        setFocus();
    }
}

void TTzEdit::setCaption(const QString& text)
{
    if (!m_caption) {
        m_caption = new QLabel(parentWidget());
        m_caption->setBuddy(this);
    }
    m_caption->setText(text);
    m_caption->adjustSize();
    m_caption->setVisible(!text.isEmpty());
    placeCaption();
}

QString TTzEdit::caption() const { return m_caption ? m_caption->text() : QString(); }

void TTzEdit::setCaptionPos(TTzCaptionPosType pos)
{
    m_captionPos = pos;
    placeCaption();
}

void TTzEdit::moveEvent(QMoveEvent* e)
{
    QLineEdit::moveEvent(e);
    placeCaption();
}

void TTzEdit::resizeEvent(QResizeEvent* e)
{
    QLineEdit::resizeEvent(e);
    placeCaption();
}

void TTzEdit::placeCaption()
{
    if (!m_caption || m_captionPos == TTzCaptionPosType::cpDetached)
        return;
    const QRect g = geometry();
    const QSize s = m_caption->sizeHint();
    const int midY = g.top() + (g.height() - s.height()) / 2;
    QPoint p;
    switch (m_captionPos) {
    case TTzCaptionPosType::cpLeft: p = {g.left() - s.width() - 4, midY}; break;
    case TTzCaptionPosType::cpRight: p = {g.right() + 5, midY}; break;
    case TTzCaptionPosType::cpTopLeft: p = {g.left(), g.top() - s.height() - 1}; break;
    case TTzCaptionPosType::cpTopRight: p = {g.right() - s.width(), g.top() - s.height() - 1}; break;
    case TTzCaptionPosType::cpBottomLeft: p = {g.left(), g.bottom() + 2}; break;
    case TTzCaptionPosType::cpBottomRight: p = {g.right() - s.width(), g.bottom() + 2}; break;
    case TTzCaptionPosType::cpDetached: return;
    }
    m_caption->move(p);
}

} // namespace qb::engine
