// The records of an Intel HEX file, read as the window's loader reads them:
// data (00), end of file (01) and extended linear address (04); the segment
// records 02 and 03 are refused, 05 to FF passed over. Which data addresses
// a file may use, and where its bytes go, is the caller's business.
#pragma once

#include <cstdint>
#include <string>

class THexLines {
public:
    virtual ~THexLines() = default;
    // The next line, false at the end of the file.
    virtual bool Next(std::string& line) = 0;
};

class THexTarget {
public:
    virtual ~THexTarget() = default;
    // Asked before the data byte for address is read: a text refuses it and
    // ends the load with that text.
    virtual std::string Refuse(std::uint32_t address) = 0;
    virtual void Store(std::uint32_t address, std::uint8_t byte) = 0;
};

// Where a read stopped, for callers that add to the failure text.
enum class THexStop {
    End,            // the end-of-file record: the file is read
    Format,         // a line too short or without ':', or a bad record 04
    Digit,          // a character that isn't a hex digit
    MissingDigits,  // a line shorter than its record
    Refused,        // the target refused an address
    Checksum,
    Record,         // a segment record (02, 03)
    NoEndRecord,    // the file ended first
};

// End at the end-of-file record, with "..erledigt, nach N Zeilen"; else
// where it stopped, with the failure text. lineNo is the number of the last
// line read.
THexStop ReadHexRecords(THexLines& lines, THexTarget& target, std::string& message, int& lineNo);
