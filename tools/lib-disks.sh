# Virtual removable disks for the tests under Wine. Sourced by tools/lib.sh.
#
# A disk is a Unix folder holding `.windows-serial` (8 hex digits) and
# `.windows-label`. The test drives (E: and F:) are removable ("floppy") and
# start empty: their dosdevices links point at a folder that never exists.
# Inserting, swapping and removing disks while Wine runs is done by the
# Windows tool tvxdisk.exe (tests/disks), because Wine's mount manager caches
# a volume's serial and label until the letter is defined again.
# See docs/virtual-disks.md.

# Drive letters the tests use, and where an empty drive points.
TVX_DISK_LETTERS=(e f)
TVX_NO_DISK_FOLDER=/nonexistent/tvx-no-disk

# Called once when a prefix is created, while its wineserver still runs; the
# mount manager reads the drive types when the next wineserver starts.
tvx_prefix_init_disks() {
    local prefix=$1 letter
    if [ -e "$TVX_NO_DISK_FOLDER" ]; then
        tvx_log "tvx_prefix_init_disks: $TVX_NO_DISK_FOLDER exists, so empty drives would show a disk; remove it"
        return 1
    fi
    mkdir -p "$prefix/dosdevices" || return 1
    for letter in "${TVX_DISK_LETTERS[@]}"; do
        ln -sfn "$TVX_NO_DISK_FOLDER" "$prefix/dosdevices/$letter:" || return 1
        # Right after a prefix is made, Wine may still be settling and refuse
        # the first writes: try a few times before giving up.
        local try ok=0
        for try in 1 2 3 4 5; do
            if WINEPREFIX=$prefix wine reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /d floppy /f >/dev/null 2>&1; then
                ok=1
                break
            fi
            sleep 1
        done
        if [ $ok -ne 1 ]; then
            tvx_log "tvx_prefix_init_disks: could not mark $letter: removable"
            return 1
        fi
    done
}

# tvx_disk_make DIR SERIAL LABEL: makes DIR a disk (creates it when missing).
# SERIAL is up to 8 hex digits, written as exactly 8.
tvx_disk_make() {
    if [ $# -ne 3 ]; then
        tvx_log "usage: tvx_disk_make DIR SERIAL LABEL"
        return 2
    fi
    local dir=$1 serial=$2 label=$3
    if ! [[ $serial =~ ^(0[xX])?[0-9A-Fa-f]{1,8}$ ]]; then
        tvx_log "tvx_disk_make: serial must be 1 to 8 hex digits, not '$serial'"
        return 2
    fi
    serial=${serial#0[xX]}
    mkdir -p "$dir" || return 1
    printf '%08X\n' "$((16#$serial))" >"$dir/.windows-serial" || return 1
    printf '%s' "$label" >"$dir/.windows-label" || return 1
}

# tvx_disk_make_tmpfs DIR SIZE: mounts a tmpfs of SIZE (mount's syntax: 2m,
# 512k, or bytes) on DIR so that the disk can run full. Needs root.
tvx_disk_make_tmpfs() {
    if [ $# -ne 2 ]; then
        tvx_log "usage: tvx_disk_make_tmpfs DIR SIZE"
        return 2
    fi
    local dir=$1 size=$2 out
    mkdir -p "$dir" || return 1
    if mountpoint -q "$dir"; then
        tvx_log "tvx_disk_make_tmpfs: $dir is already a mount point"
        return 1
    fi
    if ! out=$(mount -t tmpfs -o "size=$size,mode=0777" tmpfs "$dir" 2>&1); then
        tvx_log "tvx_disk_make_tmpfs: mounting a tmpfs on $dir is not permitted here (uid $(id -u)): $out"
        return 1
    fi
}

# tvx_disk_umount DIR: unmounts the tmpfs on DIR; lazily when something still
# holds it open (a wineserver may). Not mounted is success.
tvx_disk_umount() {
    local dir=$1
    mountpoint -q "$dir" || return 0
    umount "$dir" 2>/dev/null && return 0
    umount -l "$dir" 2>/dev/null && return 0
    tvx_log "tvx_disk_umount: could not unmount $dir"
    return 1
}
