#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

// The values a reader can report or store of one kind: every number from low to high, or only
// the ones listed (clock frequencies, model type codes).
struct ValueRange
{
    double low = 0;
    double high = 0;
    QList<double> only; // when not empty, the only values there are

    static ValueRange of(double low, double high) { return {low, high, {}}; }
    static ValueRange listed(const QList<double> &values);

    bool contains(double value) const;
    // The smallest range holding both.
    ValueRange joined(const ValueRange &other) const;
    // "0 to 255", "one of 3.57, 3.68, 6, 8"
    QString text() const;
};

// What a Vorn reader model is: its type code (the number of its slots), its name, which
// protocols it speaks, and the range of every value it reports or stores. Everything that
// depends on the model (the checkout, plans, the emulated reader, the window) asks here.
class ReaderModel
{
public:
    quint8 typeCode() const { return m_typeCode; }
    QString name() const { return m_name; }
    int slotCount() const { return m_slotCount; }
    // The eight-slot Tarvik protocol's status and slot selection ("G", "S").
    bool speaksTarvik() const { return m_speaksTarvik; }

    // The occupancy bits of every slot of the model.
    quint8 slotBits() const { return quint8((1U << m_slotCount) - 1); }

    ValueRange typeCodes() const { return ValueRange::listed({double(m_typeCode)}); }
    static ValueRange firmwareVersions();
    static ValueRange serialNumbers();
    ValueRange occupancies() const { return ValueRange::of(0, slotBits()); }
    ValueRange slotNumbers() const { return ValueRange::of(1, m_slotCount); }
    // The time setting in seconds as read (to the hundredth: a full count is 428.33 s), and
    // in whole seconds as the tool sets it (0 to 428).
    static ValueRange timeSettingsRead();
    static ValueRange timeSettingsStored();
    static ValueRange timeSettingCounts();
    static ValueRange clockFrequencies();

    // Vorn4 and Vorn8, fewest slots first.
    static const QList<ReaderModel> &all();
    static const ReaderModel *byTypeCode(int typeCode);
    // The largest slot count of any model: the slots the protocol's bytes have room for.
    static int mostSlots();
    // "4 (Vorn4) or 8 (Vorn8)", for messages that name the models.
    static QString typeCodesText();
    // The one refusal of a model that is none of these: "WHAT must be 4 (Vorn4) or 8 (Vorn8),
    // not 'GIVEN'".
    static QString notAModel(const QString &what, const QString &given);
    // The model of a type code, or of the largest model when none is given: the slots whose
    // clocks a checkout stores.
    static const ReaderModel &orLargest(std::optional<quint8> typeCode);

private:
    ReaderModel(quint8 typeCode, const char *name, bool speaksTarvik);

    quint8 m_typeCode;
    QString m_name;
    int m_slotCount;
    bool m_speaksTarvik;
};
