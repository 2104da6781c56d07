# What a failed run on a hosted Windows runner needs to be understood: the Windows version,
# the screens and their scaling, the session, the input desktop and the foreground window,
# written to desktop.txt, and a picture of the desktop in desktop.png.
Add-Type -AssemblyName System.Windows.Forms, System.Drawing
Add-Type -Namespace Win32 -Name User -MemberDefinition @'
[DllImport("user32.dll")] public static extern bool SetProcessDPIAware();
[DllImport("user32.dll")] public static extern uint GetDpiForSystem();
[DllImport("user32.dll")] public static extern IntPtr GetForegroundWindow();
[DllImport("user32.dll", CharSet = CharSet.Unicode)]
public static extern int GetWindowText(IntPtr window, System.Text.StringBuilder text, int size);
[DllImport("user32.dll", CharSet = CharSet.Unicode)]
public static extern int GetClassName(IntPtr window, System.Text.StringBuilder text, int size);
[DllImport("user32.dll")] public static extern uint GetWindowThreadProcessId(IntPtr window, out uint process);
[DllImport("user32.dll", SetLastError = true)] public static extern IntPtr OpenInputDesktop(uint flags, bool inherit, uint access);
[DllImport("user32.dll", CharSet = CharSet.Unicode)]
public static extern bool GetUserObjectInformation(IntPtr handle, int index, System.Text.StringBuilder text, int size, out int needed);
[DllImport("user32.dll")] public static extern bool CloseDesktop(IntPtr desktop);
'@
[void][Win32.User]::SetProcessDPIAware() # real pixels, not scaled ones

$os = Get-CimInstance Win32_OperatingSystem
$lines = @("Windows: $($os.Caption) $($os.Version), build $([Environment]::OSVersion.Version.Build)")
foreach ($screen in [System.Windows.Forms.Screen]::AllScreens) {
    $lines += "Screen: $($screen.DeviceName) $($screen.Bounds.Width)x$($screen.Bounds.Height), primary: $($screen.Primary)"
}
$lines += "System DPI: $([Win32.User]::GetDpiForSystem()) (96 is 100 %)"
$lines += "Session: $((Get-Process -Id $PID).SessionId) ($env:SESSIONNAME), user $env:USERNAME, interactive: $([Environment]::UserInteractive)"
$name = New-Object System.Text.StringBuilder 256
$needed = 0
$desktop = [Win32.User]::OpenInputDesktop(0, $false, 0x0001) # DESKTOP_READOBJECTS
if ($desktop -eq [IntPtr]::Zero) {
    $lines += "Input desktop: none could be opened (error $([Runtime.InteropServices.Marshal]::GetLastWin32Error()))"
} else {
    [void][Win32.User]::GetUserObjectInformation($desktop, 2, $name, 512, [ref]$needed) # UOI_NAME
    $lines += "Input desktop: $name"
    [void][Win32.User]::CloseDesktop($desktop)
}
$foreground = [Win32.User]::GetForegroundWindow()
$title = New-Object System.Text.StringBuilder 256
$class = New-Object System.Text.StringBuilder 256
[void][Win32.User]::GetWindowText($foreground, $title, 256)
[void][Win32.User]::GetClassName($foreground, $class, 256)
$owner = 0
[void][Win32.User]::GetWindowThreadProcessId($foreground, [ref]$owner)
$process = (Get-Process -Id $owner -ErrorAction SilentlyContinue).ProcessName
$lines += "Foreground window: $foreground, class '$class', title '$title', process $owner ($process)"
$lines | Tee-Object -FilePath desktop.txt

$bounds = [System.Windows.Forms.SystemInformation]::VirtualScreen
$picture = New-Object System.Drawing.Bitmap $bounds.Width, $bounds.Height
$graphics = [System.Drawing.Graphics]::FromImage($picture)
$graphics.CopyFromScreen($bounds.Location, [System.Drawing.Point]::Empty, $bounds.Size)
$picture.Save("$PWD\desktop.png", [System.Drawing.Imaging.ImageFormat]::Png)
$graphics.Dispose()
$picture.Dispose()
