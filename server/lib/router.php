<?php
// The router of PHP's built-in server (serve.sh): it answers the three
// scripts and nothing else. Without it, php -S would hand out every file of
// its folder (this library, serve.sh, anything put there) and run any .php
// file in it. Only the exact paths the downloader asks for pass; an encoded
// or longer path is as unknown as any other.

declare(strict_types=1);

$path = parse_url($_SERVER['REQUEST_URI'] ?? '', PHP_URL_PATH);
$pattern = '#^/DOWNLOADER/(DownloadStream1v1|DownloadCleaner1v1|DownloaderStats1v1)\.php$#D';
if (is_string($path) && preg_match($pattern, $path, $script) === 1) {
    require __DIR__ . '/../DOWNLOADER/' . $script[1] . '.php';
    return true;
}
http_response_code(404);
header('Content-Type: text/plain');
echo 'Not found';
return true;
