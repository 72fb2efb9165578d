#include "list_writer.h"

std::unique_ptr<ListWriter> ListWriter::Create(const std::string& path)
{
    std::unique_ptr<File> file = fileSystem().createNew(path);
    if (!file)
        return nullptr;
    return std::unique_ptr<ListWriter>(new ListWriter(path, std::move(file)));
}

bool ListWriter::begin(const SetFacts& facts, const FileIdentity& original)
{
    return file_->takePermissionsOf(original) && write(FormatListHeader(facts));
}

bool ListWriter::add(const ListLine& line)
{
    return write(FormatListLine(line));
}

bool ListWriter::finish()
{
    if (!file_->flush())
        return false;
    finished_ = IdentityOrNamed(*file_, path_);
    return finished_ && file_->close();
}
