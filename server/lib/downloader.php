<?php
// Shared by the three endpoint scripts: where files, marks and statistics
// live, and which names are allowed to reach the file system.

declare(strict_types=1);

// The roots can be moved with environment variables (the tests use temporary
// folders); by default they sit next to the DOWNLOADER folder.
function kd_root(string $variable, string $default): string
{
    $value = getenv($variable);
    return ($value !== false && $value !== '') ? $value : dirname(__DIR__) . '/' . $default;
}

function kd_files_root(): string { return kd_root('KALVORAN_SERVER_FILES', 'files'); }
function kd_marks_root(): string { return kd_root('KALVORAN_SERVER_MARKS', 'marks'); }
function kd_stats_root(): string { return kd_root('KALVORAN_SERVER_STATS', 'stats'); }

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

// The mark a download with Zmazat=true leaves for the cleaner.
function kd_mark_path(string $file): string
{
    return kd_marks_root() . '/' . sha1($file) . '.mark';
}
