#pragma once
// What the process writes to standard error while the object lives, kept in a file of its
// own instead; lines() reads it so far. Standard error is given back on destruction.
#include <QFile>
#include <QStringList>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

struct StderrCapture
{
    QTemporaryFile file;
    int saved = -1;

    StderrCapture()
    {
        if (!file.open())
            return;
        std::fflush(stderr);
        saved = ::dup(STDERR_FILENO);
        ::dup2(file.handle(), STDERR_FILENO);
    }
    ~StderrCapture()
    {
        if (saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
    }
    QStringList lines()
    {
        std::fflush(stderr);
        QFile read(file.fileName());
        if (!read.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLocal8Bit(read.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
};
