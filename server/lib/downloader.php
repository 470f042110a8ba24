<?php
// Shared by the three endpoint scripts: where files, marks and statistics
// live, and which names are allowed to reach the file system.

declare(strict_types=1);

// The roots can be moved with environment variables (the tests use temporary
// folders, behind nginx they are FastCGI parameters). The packages sit next to
// the DOWNLOADER folder by default; marks and statistics in the user's state
// folder, away from anything a web server might serve: the statistics hold
// every customer's address and key.
function kd_setting(string $variable): ?string
{
    $value = getenv($variable);
    return ($value !== false && $value !== '') ? $value : null;
}

// $XDG_STATE_HOME/kalvoran-server, else ~/.local/state/kalvoran-server; null
// when neither names a folder, and then no mark or record is written.
function kd_state_folder(): ?string
{
    $state = kd_setting('XDG_STATE_HOME');
    if ($state === null || $state[0] !== '/') {
        $home = kd_setting('HOME');
        if ($home === null) {
            return null;
        }
        $state = $home . '/.local/state';
    }
    return $state . '/kalvoran-server';
}

function kd_files_root(): string
{
    return kd_setting('KALVORAN_SERVER_FILES') ?? dirname(__DIR__) . '/files';
}

function kd_state_root(string $variable, string $name): ?string
{
    $state = kd_state_folder();
    return kd_setting($variable) ?? ($state === null ? null : $state . '/' . $name);
}

function kd_marks_root(): ?string { return kd_state_root('KALVORAN_SERVER_MARKS', 'marks'); }
function kd_stats_root(): ?string { return kd_state_root('KALVORAN_SERVER_STATS', 'stats'); }

// Made when missing, readable by its owner only.
function kd_private_folder(?string $folder): ?string
{
    if ($folder === null || (!is_dir($folder) && !@mkdir($folder, 0700, true))) {
        return null;
    }
    return $folder;
}

// KALVORAN_SERVER_DELETE=no (or off, false, 0): clean-up requests delete
// nothing, whatever the keys ask for.
function kd_deletion_allowed(): bool
{
    $value = strtolower(kd_setting('KALVORAN_SERVER_DELETE') ?? 'yes');
    return !in_array($value, ['no', 'off', 'false', '0'], true);
}

// KALVORAN_SERVER_STATS_LIMIT: the bytes the statistics folder may hold, 1 GiB
// unless set. Null for a value that is no whole number: then nothing is
// written rather than an unbounded folder.
function kd_stats_limit(): ?int
{
    $value = kd_setting('KALVORAN_SERVER_STATS_LIMIT') ?? '1073741824';
    return ctype_digit($value) ? (int) $value : null;
}

// The bytes of the files in a folder (not below it: the statistics folder is
// flat), as their sizes say, holes of sparse files included.
function kd_folder_size(string $folder): int
{
    $total = 0;
    foreach (scandir($folder) ?: [] as $name) {
        $stat = ($name === '.' || $name === '..') ? false : @lstat($folder . '/' . $name);
        $total += $stat === false ? 0 : $stat['size'];
    }
    return $total;
}

// A query value as the downloader sends it: Windows-1250 bytes, "+" already
// read as a blank by PHP. Names on this server's disk are UTF-8.
function kd_query(string $key): ?string
{
    $value = $_GET[$key] ?? null;
    if (!is_string($value)) {
        return null;
    }
    $utf8 = @iconv('Windows-1250', 'UTF-8', $value);
    return $utf8 === false ? null : $utf8;
}

function kd_registered(): bool
{
    return ($_GET['Reg'] ?? null) === 'OK';
}

// One plain name inside a folder: no separator, no NUL, not "." or "..".
function kd_plain_name(string $name): bool
{
    return $name !== '' && $name !== '.' && $name !== '..'
        && strpbrk($name, "/\\\0") === false;
}

// The file that Cesta and Subor name below the files root, or null when it
// does not exist or would lie outside the root (by its names or by a link).
function kd_requested_file(?string $cesta, ?string $subor): ?string
{
    if ($cesta === null || $subor === null || !kd_plain_name($subor)) {
        return null;
    }
    if ($cesta !== '') {
        foreach (explode('/', $cesta) as $segment) {
            if (!kd_plain_name($segment)) {
                return null;
            }
        }
    }
    $root = realpath(kd_files_root());
    if ($root === false) {
        return null;
    }
    $path = realpath($root . '/' . ($cesta === '' ? '' : $cesta . '/') . $subor);
    if ($path === false || !is_file($path) || strncmp($path, $root . '/', strlen($root) + 1) !== 0) {
        return null;
    }
    return $path;
}

// Behind nginx the download script only checks a request and hands the file
// to nginx with X-Accel-Redirect: the URI of the file below the internal
// location that serves the files root (KALVORAN_SERVER_ACCEL, for example
// "/kalvoran-files/"), each segment percent-encoded, since nginx decodes the
// URI before it looks the file up. Null under PHP's own server, or when no
// such location is configured: the script then sends the file itself.
function kd_accel_uri(string $file): ?string
{
    $location = getenv('KALVORAN_SERVER_ACCEL');
    $root = realpath(kd_files_root());
    if (PHP_SAPI === 'cli-server' || !is_string($location) || $location === '' || $root === false) {
        return null;
    }
    $relative = explode('/', substr($file, strlen($root) + 1));
    return rtrim($location, '/') . '/' . implode('/', array_map('rawurlencode', $relative));
}

// The mark a download with Zmazat=true leaves for the cleaner; null when
// there is no marks folder.
function kd_mark_path(string $file): ?string
{
    $marks = kd_marks_root();
    return $marks === null ? null : $marks . '/' . sha1($file) . '.mark';
}

// A file's validators as nginx makes them for the files it sends itself: a
// strong ETag from the modification time and the size, and the modification
// time as an HTTP date. A resumed download sends one of them back in
// If-Range, so they must not change while the file does not.
function kd_etag(array $stat): string
{
    return sprintf('"%x-%x"', $stat['mtime'], $stat['size']);
}

function kd_http_date(int $time): string
{
    return gmdate('D, d M Y H:i:s', $time) . ' GMT';
}

// The part of a file of $size bytes that the request's Range asks for, as
// [first, last]; null for the whole file, false when the part starts past the
// end. The whole file goes out for no Range, a malformed one, several ranges
// (allowed, and no client of ours asks for them), and an If-Range that names
// another version of the file than $etag or $modified, compared exactly.
function kd_requested_range(int $size, string $etag, string $modified): array|false|null
{
    $range = $_SERVER['HTTP_RANGE'] ?? null;
    $ifRange = $_SERVER['HTTP_IF_RANGE'] ?? null;
    if (!is_string($range) || ($ifRange !== null && $ifRange !== $etag && $ifRange !== $modified)
        || preg_match('/^bytes[ \t]*=[ \t]*(\d*)-(\d*)[ \t]*$/iD', $range, $bounds) !== 1
        || $bounds[1] === '' && $bounds[2] === '') {
        return null;
    }
    // Digits beyond PHP_INT_MAX read as PHP_INT_MAX: past the end of any file.
    if ($bounds[1] === '') {  // the last K bytes
        $count = min((int) $bounds[2], $size);
        return $count === 0 ? false : [$size - $count, $size - 1];
    }
    $first = (int) $bounds[1];
    $last = $bounds[2] === '' ? PHP_INT_MAX : (int) $bounds[2];
    if ($last < $first) {
        return null;
    }
    return $first >= $size ? false : [$first, min($last, $size - 1)];
}
