# Waits up to 10 s for Tolvane's hidden window, class TolvaneClass, to be there (-Present)
# or to be gone, and fails when it does not come or go.
param([switch]$Present)
Add-Type -Namespace Win32 -Name Find -MemberDefinition @'
[DllImport("user32.dll", CharSet = CharSet.Unicode)] public static extern IntPtr FindWindowW(string windowClass, string title);
'@
for ($i = 0; $i -lt 50; $i++) {
    if (([Win32.Find]::FindWindowW('TolvaneClass', $null) -ne [IntPtr]::Zero) -eq $Present.IsPresent) { exit 0 }
    Start-Sleep -Milliseconds 200
}
throw "Tolvane's window is $(if ($Present) { 'not there' } else { 'still there' }) after 10 s"
