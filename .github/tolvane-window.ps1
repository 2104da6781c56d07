# Waits up to 10 s for Tolvane's hidden window, class TolvaneClass, to be there (-Present)
# or to be gone, and fails when it does not come or go.
param([switch]$Present)
# The title is a pointer, passed as null so any title matches: PowerShell turns $null into ""
# for a string parameter, and no window of ours has an empty title.
Add-Type -Namespace Win32 -Name Find -MemberDefinition @'
[DllImport("user32.dll", CharSet = CharSet.Unicode)] public static extern IntPtr FindWindowW(string windowClass, IntPtr title);
'@
for ($i = 0; $i -lt 50; $i++) {
    if (([Win32.Find]::FindWindowW('TolvaneClass', [IntPtr]::Zero) -ne [IntPtr]::Zero) -eq $Present.IsPresent) { exit 0 }
    Start-Sleep -Milliseconds 200
}
throw "Tolvane's window is $(if ($Present) { 'not there' } else { 'still there' }) after 10 s"
