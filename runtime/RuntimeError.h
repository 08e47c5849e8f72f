#pragma once

#include <QString>
#include <stdexcept>

namespace quorlix::runtime {

// The error a handler's trap catches: what went wrong, where, and its number.
class RuntimeError : public std::runtime_error {
public:
    RuntimeError(QString description, QString source, long number)
        : std::runtime_error(description.toStdString()),
          mDescription(std::move(description)),
          mSource(std::move(source)),
          mNumber(number) {}

    const QString &Description() const { return mDescription; }
    const QString &Source() const { return mSource; }
    long Number() const { return mNumber; }

private:
    QString mDescription;
    QString mSource;
    long mNumber;
};

} // namespace quorlix::runtime
