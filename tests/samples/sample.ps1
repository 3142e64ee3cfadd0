# tarvik: executable 7 comment 8 total 16
<#
.SYNOPSIS
    Sample script.
.DESCRIPTION
    Shows comment-based help.
#>
param([string]$Name = "World")

<# inline #> Write-Host "Hello, $Name"  # greeting
$hash = '#'   # a quoted hash
$items = @(1, 2, 3) # array
foreach ($i in $items) {
    Write-Output "item #$i $hash"
}
# end <# of script
