#pragma once
// The selected cam: its place in the catalogue, its line, its picture's address and the
// comments downloaded for it.
#include <QObject>
#include <QString>
#include <QStringList>

class SelectedCam : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Index of the selected cam in the catalogue.
    int currentCam() const { return m_currentCam; }
    // Its line split on ";".
    const QStringList &currentCamFields() const { return m_fields; }
    const QString &pictureAddress() const { return m_pictureAddress; }
    // Its comment lines plus one empty spare entry.
    const QStringList &commentTable() const { return m_commentTable; }
    // commentTable index of the comment shown last, -1 for none.
    int lastCommentIndex() const { return m_lastCommentIndex; }

    // Another cam, or the same one anew: its comments are gone until downloaded again.
    void select(int index, const QStringList &fields, const QString &pictureAddress);
    // Only the index, before the first cam is chosen.
    void setCurrentCam(int index) { m_currentCam = index; }
    void setPictureAddress(const QString &address);
    void setCommentTable(QStringList table);
    // No comments: only the spare entry (and the empty line a table of none holds).
    void emptyCommentTable() { setCommentTable(QStringList{QString(), QString()}); }
    void setLastCommentIndex(int index) { m_lastCommentIndex = index; }

signals:
    void camChanged();
    void pictureAddressChanged(const QString &address);
    void commentsChanged();

private:
    int m_currentCam = 0;
    QStringList m_fields;
    QString m_pictureAddress;
    QStringList m_commentTable{QString(), QString()};
    int m_lastCommentIndex = -1;
};
