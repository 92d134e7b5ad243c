// Result files written under a temporary name and renamed when complete,
// and the refusal of a result file that would replace an input.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "control/stop.h"
#include "results/results.h"
#include "results/written.h"

namespace gwr {

namespace fs = std::filesystem;

namespace written {

staged_file::staged_file(std::string name) : name_(std::move(name)) {
    if (name_.empty()) throw io_error("cannot create result file '': the control file names none");
    struct stat st {};
    const bool exists = ::stat(name_.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) throw io_error("cannot create result file '" + name_ + "': it is a folder");
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a pipe (/dev/null, a named pipe): nothing to protect,
        // and no folder to hold a temporary beside it; write to it directly.
        temp_ = name_;
        direct_ = true;
        return;
    }
    // Same folder, so that the rename is atomic; the extension is kept for
    // writers that choose a format by it.
    const fs::path p(name_);
    const fs::path dir = p.parent_path();
    const std::string ext = p.extension().string();
    std::string templ = (dir / (p.stem().string() + ".tmp-XXXXXX" + ext)).string();
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    const int fd = ::mkstemps(buf.data(), static_cast<int>(ext.size()));
    if (fd < 0) throw io_error("cannot create result file '" + name_ + "': " + std::strerror(errno));
    // mkstemps makes the file private; give it the mode the result would
    // have had: that of the file it replaces, else the usual one for new
    // files.
    mode_t mode;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
    ::close(fd);
    temp_ = buf.data();
}

staged_file::~staged_file() {
    if (f_.is_open()) f_.close();
    if (!direct_ && !committed_ && !temp_.empty()) std::remove(temp_.c_str());
}

const std::string& staged_file::vacate() {
    if (!direct_) std::remove(temp_.c_str());
    return temp_;
}

std::ofstream& staged_file::open() {
    errno = 0;
    f_.open(temp_, std::ios::out | std::ios::trunc);
    if (!f_.is_open()) {
        std::string why = errno != 0 ? std::string(": ") + std::strerror(errno) : std::string();
        throw io_error("cannot create result file '" + name_ + "'" + why);
    }
    return f_;
}

void staged_file::close() {
    f_.close();
    if (!f_) throw io_error("cannot write result file '" + name_ + "'");
}

void staged_file::commit() {
    if (f_.is_open()) close();
    if (direct_ || committed_) return;
    if (std::rename(temp_.c_str(), name_.c_str()) != 0)
        throw io_error("cannot replace result file '" + name_ + "': " + std::strerror(errno));
    committed_ = true;
}

void commit(std::initializer_list<staged_file*> files) {
    // Every file is complete before any is renamed; a target that became a
    // folder in the meantime is found before the first rename.
    for (staged_file* f : files) {
        struct stat st {};
        if (!f->direct() && ::stat(f->name().c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            throw io_error("cannot create result file '" + f->name() + "': it is a folder");
    }
    for (staged_file* f : files) f->commit();
}

}  // namespace written

std::vector<std::string> outnames(const std::string& outfil, result_format format) {
    std::vector<std::string> v;
    if (format == result_format::none) return v;
    if (format == result_format::gpkg) return {gpkg_name(outfil)};
    if (!outfil.empty()) v.push_back(outfil);
    if (format == result_format::mif) {
        auto [mif, mid] = mif_names(outfil);
        v.push_back(mif);
        v.push_back(mid);
    }
    return v;
}

void chkout(const state& s) {
    struct input {
        const char* what;
        const std::string* name;
    };
    std::vector<input> inputs{{"data file", &s.files.datfil}};
    if (s.run().location_file) inputs.push_back({"location file", &s.files.locfil});
    for (const std::string& out : outnames(s.files.outfil, s.run().format)) {
        for (const input& in : inputs) {
            std::error_code ec;
            if (fs::equivalent(out, *in.name, ec))
                throw io_error("the result file '" + out + "' is the " + in.what + " '" + *in.name +
                               "': refusing to overwrite it (control file record 3)");
        }
    }
}

}  // namespace gwr
