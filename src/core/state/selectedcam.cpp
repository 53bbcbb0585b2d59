#include "selectedcam.h"

#include <utility>

void SelectedCam::select(int index, const QStringList &fields, const QString &pictureAddress)
{
    m_currentCam = index;
    m_fields = fields;
    m_lastCommentIndex = -1;
    emptyCommentTable();
    emit camChanged();
    setPictureAddress(pictureAddress);
}

void SelectedCam::setPictureAddress(const QString &address)
{
    if (address == m_pictureAddress)
        return;
    m_pictureAddress = address;
    emit pictureAddressChanged(address);
}

void SelectedCam::setCommentTable(QStringList table)
{
    if (table == m_commentTable)
        return;
    m_commentTable = std::move(table);
    emit commentsChanged();
}
